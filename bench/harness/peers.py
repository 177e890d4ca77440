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
from .channel import ECHO, FADING_SILENCE, PROFILES, SILENCE, Channel
from .events import STAGES
from .measure import Point, run
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


def identity(system: System) -> dict:
	return {"system": system.maker, "mode": system.label, "rate_hz": str(system.rate), "noise": system.noise,
		"demod": system.demod, "payload_bytes": str(system.payload_bytes)}


def key(row: dict) -> tuple:
	demod = row.get("demod") or ("reference" if row["system"] == "ofdm_burst" else "")
	return row["system"], row["mode"], row["rate_hz"], row["noise"], demod


def point_row(point: Point, silence: float) -> dict:
	c = point.channel
	row = {"system": point.system.name, "test": point.test, "snr_db": f"{c.snr:g}", "cfo_hz": f"{c.cfo:g}",
	       "ppm": f"{c.ppm:g}", "echo": c.echo, "fading": c.fading, "bursts": point.bursts, "ok": point.ok,
	       "wrong": point.wrong, "success_pct": f"{100 * point.success:g}", "silence_s": f"{silence:g}"}
	row.update(point.stages)
	return row


def white_search(run_: Run, system: System, signal: Signal, points: list) -> search.Crossing:
	def success(snr: float) -> float:
		points.append(point_row(run(run_.programs, system, signal, "awgn", Channel(snr)), SILENCE))
		return points[-1]["ok"] / signal.count

	start = search.on_grid(system.expect, 0.5)
	return search.find(success, 0.9, start, 1, 0.25, -20, 40)


def fading_search(run_: Run, system: System, signal: Signal, profile: str, start: float, points: list) -> tuple:
	"""SNR for 50 % and 90 % of bursts under the profile; the 90 % search
	starts from the points of the 50 % one."""
	def success(snr: float) -> float:
		points.append(point_row(run(run_.programs, system, signal, "watterson", Channel(snr, fading=profile)),
					FADING_SILENCE))
		return points[-1]["ok"] / signal.count

	measured = {}
	half = search.find(success, 0.5, search.on_grid(start, 0.5), 2, 0.5, FLOOR, CAP, grow=2, points=measured)
	most = search.find(success, 0.9, start, 2, 0.5, FLOOR, CAP, grow=2, points=measured)
	return half, most


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
		white = white_search(run_, system, signal, points)
		row["snr90_db"] = white.text()
		if "robust" in run_.parts:
			row.update({name: "" for name, _, _ in ROBUST} | {"robust_snr_db": ""})
			if white.snr is not None:
				at = round(white.snr + MARGIN, 1)
				row["robust_snr_db"] = f"{at:.1f}"
				for name, test, impairments in ROBUST:
					p = run(run_.programs, system, signal, test, Channel(at, **impairments))
					points.append(point_row(p, SILENCE))
					row[name] = f"{100 * p.success:g}"
	signal.path.unlink()
	return row, points


def fading_task(run_: Run, system: System, profile: str) -> tuple[dict, list]:
	"""The searches under one profile, from MARGIN dB over the expected
	white-noise point, so that they need not wait for the white search."""
	folder = run_.work / system.name
	folder.mkdir(parents=True, exist_ok=True)
	points = []
	faded = send(run_.programs, system, run_.bursts, FADING_SILENCE, folder / f"{profile}.s16")
	half, most = fading_search(run_, system, faded, profile, system.expect + MARGIN, points)
	faded.path.unlink()
	return {f"{profile}_snr50_db": half.text(), f"{profile}_snr90_db": most.text()}, points


def measure(run_: Run, systems: list[System], jobs: int) -> tuple[list, list]:
	"""Rows and points of the systems: each search a job, JOBS at a time,
	the slowest receivers first so that the jobs end together."""
	order = sorted(systems, key=lambda s: (s.family != "freedv", s.rate != 48000, -s.payload_bytes))
	tasks = [(s, None) for s in order]
	if "fading" in run_.parts:
		tasks = [(s, p) for s in order for p in (None, *FADED)]

	def task(item):
		system, profile = item
		return white_task(run_, system) if profile is None else fading_task(run_, system, profile)

	with ThreadPoolExecutor(jobs) as pool:
		results = list(pool.map(task, tasks))
	rows = {s.name: identity(s) for s in order}
	points = []
	for (system, _), (row, ps) in zip(tasks, results):
		rows[system.name].update(row)
		points += ps
	return list(rows.values()), points


def store(results: pathlib.Path, rows: list, points: list, systems: list[System], parts: frozenset) -> None:
	"""Lays the rows over peers.csv and puts the points in place of the
	stored points of the same systems and tests."""
	path = results / "peers.csv"
	table_file.write(path, COLUMNS, table_file.merge(table_file.read(path), rows, key))
	names = {s.name for s in systems}
	tests = set().union(*(TESTS.get(p, set()) for p in parts))
	path = results / "peers_points.csv"
	kept = [r for r in table_file.read(path) if not (r["system"] in names and r["test"] in tests)]
	table_file.write(path, POINT_COLUMNS, kept + points)
