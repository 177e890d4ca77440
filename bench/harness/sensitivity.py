"""Burst success rate of decode_stream through the channel simulator: against
SNR in white noise for every rate, mode, mapping and demodulator, and at a
fixed SNR against frequency offset, sample-clock offset and fading. Every
lost burst is put down to the stage that lost it (events.py). Noise "white"
covers the whole band; "ssb" is the same noise behind a 300-3000 Hz radio
pass band. Every demodulator sees the same noise."""

import math
import pathlib
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, replace

from . import search, table_file
from .bursts import send
from .channel import PROFILES, SILENCE, Channel
from .events import STAGES
from .measure import Point, run
from .programs import Mode, Programs
from .systems import MAPPINGS, System, ours

ROBUST_MODE = 14
# Margin of the robustness points above the white-noise 90 % point of their
# variant, rounded up to 0.5 dB.
MARGIN = 3
COLUMNS = ["test", "rate", "noise", "mode", "mapping", "snr_db", "cfo_hz", "ppm", "fading", "bursts", *STAGES,
	   "false_alarms", "clipped", "success_pct", "demod"]
SNR90_COLUMNS = ["rate", "noise", "mode", "mapping", "demod", "snr90_db"]
# Rate, noise and the SNR where its curves start.
CURVES = ((48000, "white", 6), (48000, "ssb", 0), (8000, "white", 0))
CFO = {8000: (-600, -200, -50, -10, -3.125, 0, 3.125, 10, 50, 200, 600, 1500),
       48000: (-400, -200, -50, -10, -3.125, 0, 3.125, 10, 50, 200, 400, 700)}
WHITE_CFO = (-600, 0, 1000, 5000, 15000, 20000)
PPM = (-2000, -1000, -500, -100, 0, 100, 500, 1000, 2000)
FADING_EXTRA = (0, 7, 17)


@dataclass(frozen=True)
class Run:
	programs: Programs
	bursts: int
	work: pathlib.Path


def variant(mode: Mode, rate: int, noise: str, mapping: int, demod: str) -> System:
	"""This receiver's system; its name, the seed of its noise, names the
	noise where it is not the rate's usual one."""
	system = ours(rate, mode, mapping, demod, 3.0)
	if noise == system.noise:
		return system
	return replace(system, name=system.name.replace(f"-{rate}-", f"-{rate}-{noise}-"), noise=noise)


def row(point: Point) -> dict:
	s, c = point.system, point.channel
	return {"test": point.test, "rate": s.rate, "noise": s.noise, "mode": s.mode, "mapping": s.mapping,
		"snr_db": f"{c.snr:g}", "cfo_hz": f"{c.cfo:g}", "ppm": f"{c.ppm:g}", "fading": c.fading,
		"bursts": point.bursts, **point.stages, "clipped": point.clipped, "success_pct": f"{100 * point.success:g}",
		"demod": s.demod}


def signal_of(run_: Run, system: System):
	folder = run_.work / system.signal
	folder.mkdir(parents=True, exist_ok=True)
	return send(run_.programs, system, run_.bursts, SILENCE, folder / f"{system.demod}.s16")


def curve(run_: Run, system: System, start: float) -> list[dict]:
	signal, rows = signal_of(run_, system), []

	def success(snr: float) -> float:
		rows.append(row(run(run_.programs, system, signal, "awgn", Channel(snr))))
		return rows[-1]["ok"] / run_.bursts

	search.sweep(success, start)
	signal.path.unlink()
	return rows


def robustness(run_: Run, system: System, snr: float, plain: System | None, white: float | None) -> list[dict]:
	"""Points of one variant at SNR: frequency and clock offsets, fading at
	0, 7 and 17 dB more; and frequency offsets of the variant PLAIN, the
	same signal in white noise, at WHITE."""
	signal, rows = signal_of(run_, system), []
	for cfo in CFO[system.rate]:
		rows.append(row(run(run_.programs, system, signal, "cfo", Channel(snr, cfo=cfo))))
	for ppm in PPM:
		rows.append(row(run(run_.programs, system, signal, "ppm", Channel(snr, ppm=ppm))))
	for profile in PROFILES:
		for extra in FADING_EXTRA:
			rows.append(row(run(run_.programs, system, signal, "fading", Channel(snr + extra, fading=profile))))
	if white is not None:
		for cfo in WHITE_CFO:
			rows.append(row(run(run_.programs, plain, signal, "cfo", Channel(white, cfo=cfo))))
	signal.path.unlink()
	return rows


def snr90(rows: list[dict]) -> list[dict]:
	"""SNR for 90 % of each white-noise curve, at its last crossing."""
	curves = {}
	for r in rows:
		if r["test"] == "awgn":
			key = (int(r["rate"]), r["noise"], int(r["mode"]), int(r["mapping"]), r["demod"])
			curves.setdefault(key, {})[float(r["snr_db"])] = float(r["success_pct"])
	return [dict(zip(SNR90_COLUMNS, (*key, search.interpolate(points, 90).text())))
		for key, points in sorted(curves.items())]


def above(snr: float | None) -> float | None:
	return None if snr is None else math.ceil((snr + MARGIN) * 2) / 2


def measure(run_: Run, modes: dict[int, Mode], demods: list[str], jobs: int) -> list[dict]:
	curves = [(variant(modes[m], rate, noise, mapping, demod), start) for demod in demods
		  for rate, noise, start in CURVES for m in sorted(modes) for mapping in MAPPINGS]
	with ThreadPoolExecutor(jobs) as pool:
		rows = [r for rs in pool.map(lambda c: curve(run_, *c), curves) for r in rs]
	found = {(r["rate"], r["noise"], r["mode"], r["mapping"], r["demod"]): r["snr90_db"] for r in snr90(rows)}

	def at(rate, noise, mapping, demod):
		text = found.get((rate, noise, ROBUST_MODE, mapping, demod), "")
		return above(float(text)) if text and text[0] not in "<n" else None

	groups = []
	for demod in demods if ROBUST_MODE in modes else ():
		for rate in (48000, 8000):
			noise = "ssb" if rate == 48000 else "white"
			for mapping in MAPPINGS:
				snr = at(rate, noise, mapping, demod)
				if snr is not None:
					white = at(rate, "white", mapping, demod) if rate == 48000 else None
					groups.append((variant(modes[ROBUST_MODE], rate, noise, mapping, demod), snr,
						       variant(modes[ROBUST_MODE], rate, "white", mapping, demod), white))
	with ThreadPoolExecutor(jobs) as pool:
		rows += [r for rs in pool.map(lambda g: robustness(run_, *g), groups) for r in rs]
	return rows


def order(r: dict) -> tuple:
	return (r["demod"] != "reference", r["demod"], r["test"], int(r["rate"]), r["noise"] != "white", int(r["mode"]),
		int(r["mapping"]), r["fading"], float(r["snr_db"]), float(r["cfo_hz"]), float(r["ppm"]))


def store(results: pathlib.Path, rows: list[dict], demods: list[str], modes: list[int]) -> list[dict]:
	"""Puts the rows in place of the stored rows of the same demodulators
	and modes."""
	path = results / "sensitivity.csv"
	kept = [r for r in table_file.read(path) if not (r["demod"] in demods and int(r["mode"]) in modes)]
	every = sorted(kept + [{k: str(v) for k, v in r.items()} for r in rows], key=order)
	table_file.write(path, COLUMNS, every)
	table_file.write(results / "sensitivity_snr90.csv", SNR90_COLUMNS, snr90(every))
	return every
