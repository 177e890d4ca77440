"""This receiver side by side with other burst modems, all through the same
channel simulator. Per system:
  - SNR for 90 % of bursts in white noise: from the expected point in 1 dB
    steps to a bracket, then halving to 0.25 dB, linear interpolation;
  - success at MARGIN dB above that point under a frequency offset of
    +-50 Hz, a sample-clock offset of +-200 ppm, an echo (2 ms, -6 dB) and
    Watterson fading good, moderate and poor;
  - SNR for 50 % and 90 % of bursts under Watterson moderate and poor
    fading: a search on a 0.5 dB grid from -10 to 30 dB, "never" when 30 dB
    is not enough;
  - payload bit/s over air time, and the band holding 99 % of the power;
  - decode speed, peak memory and latency (speed.py).
A burst counts when its payload passes the receiver's check and equals what
was sent.
"""

import pathlib
import subprocess
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass

from . import search, table_file
from .bursts import Signal, send
from .channel import ECHO, PROFILES, SILENCE, Channel
from .events import STAGES
from .journal import Journal, Missing
from .measure import run
from .programs import Programs
from .systems import System

MARGIN = 3
FADED = ("moderate", "poor")
FLOOR, CAP = -10, 30
COLUMNS = ["system", "mode", "rate_hz", "noise", "payload_bytes", "air_time_s", "payload_bps", "bw99_low_hz",
	   "bw99_high_hz", "bw99_hz", "snr90_db", "robust_snr_db", "cfo_plus50_pct", "cfo_minus50_pct", "ppm_plus200_pct",
	   "ppm_minus200_pct", "echo_pct", "good_pct", "moderate_pct", "poor_pct", "speed_bursts", "speed_received",
	   "speed_audio_s", "speed_cpu_s", "x_realtime", "peak_rss_kb", "latency_audio_ms", "latency_cpu_ms",
	   "latency_cpu_max_ms", "demod", "moderate_snr50_db", "moderate_snr90_db", "poor_snr50_db", "poor_snr90_db"]
POINT_COLUMNS = ["system", "test", "snr_db", "cfo_hz", "ppm", "echo", "fading", "bursts", "ok", "wrong", "success_pct",
		 "silence_s", *STAGES[1:], "false_alarms"]
# Column, test and impairments of the points at MARGIN dB over the 90 % point.
ROBUST = (("cfo_plus50_pct", "cfo", {"cfo": 50}), ("cfo_minus50_pct", "cfo", {"cfo": -50}),
	  ("ppm_plus200_pct", "ppm", {"ppm": 200}), ("ppm_minus200_pct", "ppm", {"ppm": -200}),
	  ("echo_pct", "echo", {"echo": ECHO}), *((f"{p}_pct", "fading", {"fading": p}) for p in PROFILES))
PARTS = ("white", "robust", "fading", "speed")
TESTS = {"white": {"awgn"}, "robust": {"awgn", "cfo", "ppm", "echo", "fading"}, "fading": {"watterson"}}


@dataclass(frozen=True)
class Run:
	programs: Programs
	bursts: int
	work: pathlib.Path
	parts: frozenset
	journal: Journal


def row_identity(system: System) -> dict:
	return {"system": system.maker, "mode": system.label, "rate_hz": str(system.rate), "noise": system.noise,
		"demod": system.demod, "payload_bytes": str(system.payload_bytes)}


def key(row: dict) -> tuple:
	demod = row.get("demod") or ("reference" if row["system"] == "ofdm_burst" else "")
	return row["system"], row["mode"], row["rate_hz"], row["noise"], demod


def identity(system: System, test: str, channel: Channel, bursts: int) -> dict:
	return {"system": system.name, "test": test, "snr_db": f"{channel.snr:g}", "cfo_hz": f"{channel.cfo:g}",
		"ppm": f"{channel.ppm:g}", "echo": channel.echo, "fading": channel.fading, "bursts": str(bursts),
		"silence_s": f"{SILENCE:g}"}


def measured(run_: Run, system: System, signal: Signal, test: str, channel: Channel) -> dict:
	"""The point's row, from the journal or measured now."""
	row = identity(system, test, channel, signal.count)
	stored = run_.journal.get(row)
	if stored:
		return stored
	if not run_.journal.measure:
		raise Missing(row)
	point = run(run_.programs, system, signal, test, channel)
	stages = {k: v for k, v in point.stages.items() if k != "ok"}
	row.update({"ok": point.ok, "wrong": point.wrong, "success_pct": f"{100 * point.success:g}", **stages})
	run_.journal.add(row)
	return row


def success(row: dict) -> float:
	return int(row["ok"]) / int(row["bursts"])


def white_search(run_: Run, system: System, signal: Signal, points: list) -> search.Crossing:
	def success_at(snr: float) -> float:
		points.append(measured(run_, system, signal, "awgn", Channel(snr)))
		return success(points[-1])

	start = search.on_grid(system.expect, 0.5)
	return search.find(success_at, 0.9, start, 1, 0.25, -20, 40)


def fading_search(run_: Run, system: System, signal: Signal, profile: str, start: float, points: list) -> tuple:
	"""SNR for 50 % and 90 % of bursts under the profile; the 90 % search
	starts from the points of the 50 % one."""
	def success_at(snr: float) -> float:
		points.append(measured(run_, system, signal, "watterson", Channel(snr, fading=profile)))
		return success(points[-1])

	curve = {}
	try:
		half = search.find(success_at, 0.5, search.on_grid(start, 0.5), 2, 0.5, FLOOR, CAP, grow=2, points=curve)
	except Missing:
		return search.Crossing(), search.Crossing()
	try:
		return half, search.find(success_at, 0.9, start, 2, 0.5, FLOOR, CAP, grow=2, points=curve)
	except Missing:
		return half, search.Crossing()


def bandwidth(programs: Programs, signal: Signal) -> list[str]:
	with open(signal.path, "rb") as f:
		return subprocess.run([programs.peer("occupied_bandwidth"), str(signal.rate)], stdin=f, capture_output=True,
				      text=True, check=True).stdout.split()


def white_task(run_: Run, system: System) -> tuple[dict, list]:
	"""Bandwidth and air time, the white-noise search and the points at
	MARGIN dB over its result."""
	folder = run_.work / system.name
	folder.mkdir(parents=True, exist_ok=True)
	row, points = {}, []
	signal = send(run_.programs, system, run_.bursts, SILENCE, folder / "clean.s16")
	air = signal.period - 2 * SILENCE
	low, high, width = bandwidth(run_.programs, signal)
	row.update({"air_time_s": f"{air:.3f}", "payload_bps": f"{system.payload_bytes * 8 / air:.0f}",
		    "bw99_low_hz": low, "bw99_high_hz": high, "bw99_hz": width})
	if run_.parts & {"white", "robust"}:
		row["snr90_db"] = ""
		if "robust" in run_.parts:
			row.update({name: "" for name, _, _ in ROBUST} | {"robust_snr_db": ""})
		try:
			white = white_search(run_, system, signal, points)
			row["snr90_db"] = white.text()
			if "robust" in run_.parts and white.snr is not None:
				at = round(white.snr + MARGIN, 1)
				row["robust_snr_db"] = f"{at:.1f}"
				for name, test, impairments in ROBUST:
					points.append(measured(run_, system, signal, test, Channel(at, **impairments)))
					row[name] = points[-1]["success_pct"]
		except Missing:
			pass
	signal.path.unlink()
	return row, points


def fading_task(run_: Run, system: System, profile: str) -> tuple[dict, list]:
	"""The searches under one profile, from MARGIN dB over the expected
	white-noise point, so that they need not wait for the white search."""
	folder = run_.work / system.name
	folder.mkdir(parents=True, exist_ok=True)
	points = []
	faded = send(run_.programs, system, run_.bursts, SILENCE, folder / f"{profile}.s16")
	half, most = fading_search(run_, system, faded, profile, system.expect + MARGIN, points)
	faded.path.unlink()
	return {f"{profile}_snr50_db": half.text(), f"{profile}_snr90_db": most.text()}, points


def ordered(systems: list[System]) -> list[System]:
	return sorted(systems, key=lambda s: (s.family != "freedv", s.rate != 48000, -s.payload_bytes))


def measure(run_: Run, systems: list[System], jobs: int) -> tuple[list, list]:
	"""Rows and points of the systems: each search a job, JOBS at a time,
	the slowest receivers first so that the jobs end together."""
	order = ordered(systems)
	tasks = [(s, None) for s in order]
	if "fading" in run_.parts:
		tasks = [(s, p) for s in order for p in (None, *FADED)]

	def task(item):
		system, profile = item
		return white_task(run_, system) if profile is None else fading_task(run_, system, profile)

	with ThreadPoolExecutor(jobs) as pool:
		results = list(pool.map(task, tasks))
	rows = {s.name: row_identity(s) for s in order}
	points = []
	for (system, _), (row, ps) in zip(tasks, results):
		rows[system.name].update(row)
		points += ps
	return list(rows.values()), points


def store(results: pathlib.Path, rows: list, points: list, systems: list[System], parts: frozenset) -> list[dict]:
	"""Lays the rows over peers.csv and puts the points in place of the
	stored points of the same systems and tests; returns every row."""
	path = results / "peers.csv"
	merged = table_file.merge(table_file.read(path), rows, key)
	table_file.write(path, COLUMNS, merged)
	names = {s.name for s in systems}
	tests = set().union(*(TESTS.get(p, set()) for p in parts))
	path = results / "peers_points.csv"
	kept = [r for r in table_file.read(path) if not (r["system"] in names and r["test"] in tests)]
	table_file.write(path, POINT_COLUMNS, kept + points)
	return merged
