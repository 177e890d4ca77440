"""Decode speed, peak memory and latency of a receiver on ten minutes of
bursts at SNR dB: CPU time (median of 3 runs) and peak resident memory of
the receiver alone, and latency from a burst's last sample to its payload
(audio time, median; CPU time, median and maximum, from the arrival of the
input chunk that completed it)."""

import os
import pathlib
import statistics
import subprocess
import sys
from dataclasses import dataclass

from . import events
from .bursts import SEED, receiver, send
from .channel import SILENCE, Channel
from .programs import Programs
from .systems import System

SNR = 15
RUNS = 3


@dataclass(frozen=True)
class Timing:
	cpu_s: float
	rss_kb: int


def timed(command: list[str], source: pathlib.Path, sink: pathlib.Path) -> Timing:
	"""CPU time and peak memory of one run of the command alone. A child of
	this process would count the interpreter's memory from before its exec
	in its peak; /usr/bin/time's child starts small."""
	memory = sink.with_suffix(".rss")
	with open(source, "rb") as f, open(sink, "wb") as out:
		process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", str(memory), *command], stdin=f, stdout=out,
					   stderr=subprocess.DEVNULL)
		_, status, usage = os.wait4(process.pid, 0)
		process.returncode = os.waitstatus_to_exitcode(status)
	if process.returncode:
		raise RuntimeError(f"{command[0]} failed with status {process.returncode}")
	rss = int(memory.read_text().split()[-1])
	memory.unlink()
	return Timing(usage.ru_utime + usage.ru_stime, rss)


def noisy(programs: Programs, system: System, clean: pathlib.Path, path: pathlib.Path) -> None:
	with open(clean, "rb") as f, open(path, "wb") as out:
		subprocess.run([programs.channel, *Channel(SNR).arguments(system.rate, system.noise, SEED)], stdin=f,
			       stdout=out, stderr=subprocess.DEVNULL, check=True)


def runs(command: list[str], source: pathlib.Path, sink: pathlib.Path) -> tuple[float, int]:
	"""Median CPU time and largest peak memory of RUNS runs."""
	times = [timed(command, source, sink) for _ in range(RUNS)]
	return statistics.median(t.cpu_s for t in times), max(t.rss_kb for t in times)


def measure(programs: Programs, system: System, seconds: float, folder: pathlib.Path) -> dict:
	folder.mkdir(parents=True, exist_ok=True)
	probe = send(programs, system, 10, SILENCE, folder / "probe.s16")
	count = int(seconds / probe.period)
	probe.path.unlink()
	signal = send(programs, system, count, SILENCE, folder / "speed.s16")
	noisy(programs, system, signal.path, folder / "noisy.s16")
	samples = os.path.getsize(folder / "noisy.s16") // 2
	audio = samples / system.rate
	cpu, rss = runs(receiver(programs, system, count), folder / "noisy.s16", folder / "out")
	if system.family == "ours":
		timed(receiver(programs, system, count, timed=True), folder / "noisy.s16", folder / "timed")
		frames = events.our_frames((folder / "timed").read_text().splitlines(), signal.payloads)
	else:
		frames = events.peer_frames((folder / "out").read_text().splitlines())
	# Burst i (from 0) ends at i + 1 periods less the silence after it.
	period, silence = samples / count, round(SILENCE * system.rate)
	audio_ms = [(end - ((i + 1) * period - silence)) * 1000 / system.rate for i, (end, _) in frames.received.items()]
	cpu_ms = [us / 1000 for _, us in frames.received.values()]
	for name in ("speed.s16", "noisy.s16", "out", "timed"):
		(folder / name).unlink(missing_ok=True)
	print(f"{system.name} speed: {len(frames.received)}/{count} in {audio:.0f} s, {cpu:.3f} s CPU", file=sys.stderr)
	return {"speed_bursts": count, "speed_received": len(frames.received), "speed_audio_s": f"{audio:.2f}",
		"speed_cpu_s": f"{cpu:.3f}", "x_realtime": f"{audio / cpu:.0f}" if cpu else "0", "peak_rss_kb": rss,
		"latency_audio_ms": f"{statistics.median(audio_ms):.0f}" if audio_ms else "",
		"latency_cpu_ms": f"{statistics.median(cpu_ms):.2f}" if cpu_ms else "",
		"latency_cpu_max_ms": f"{max(cpu_ms):.2f}" if cpu_ms else ""}


def noise_only(programs: Programs, system: System, audio: float, folder: pathlib.Path) -> float:
	"""Median CPU time of decode_stream on AUDIO seconds of the channel's
	noise alone: the per-sample cost that bursts add to."""
	silent = folder / "silent.s16"
	silent.write_bytes(bytes(2 * int(audio * system.rate)))
	noisy(programs, system, silent, folder / "noise.s16")
	cpu, _ = runs(receiver(programs, system, 0), folder / "noise.s16", folder / "out")
	for name in ("silent.s16", "noise.s16", "out"):
		(folder / name).unlink()
	return cpu


def table(programs: Programs, systems: list[System], seconds: float, folder: pathlib.Path) -> str:
	"""The speed table of the speed subcommand: each system, and for this
	receiver the noise alone at its rate."""
	lines = [f"{'system':<24} {'audio_s':>8} {'cpu_s':>8} {'realtime':>9} {'received':>9}"]
	for system in systems:
		row = measure(programs, system, seconds, folder / system.name)
		cpu, audio = float(row["speed_cpu_s"]), float(row["speed_audio_s"])
		lines.append(f"{system.name:<24} {audio:>8.2f} {cpu:>8.3f} {audio / cpu:>8.0f}x "
			     f"{row['speed_received']:>4}/{row['speed_bursts']}")
		if system.family == "ours":
			cpu = noise_only(programs, system, audio, folder / system.name)
			lines.append(f"{'noise-' + str(system.rate) + '-' + system.demod:<24} {audio:>8.2f} {cpu:>8.3f} "
				     f"{audio / cpu:>8.0f}x {'-':>9}")
	return "\n".join(lines) + "\n"
