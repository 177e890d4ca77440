"""One measured point: a system's bursts through the channel into its receiver."""

import re
import subprocess
import sys
import tempfile
from dataclasses import dataclass

from . import events
from .bursts import Signal, receiver
from .channel import Channel, seed_of
from .programs import Programs
from .systems import System

CLIPPED = re.compile(r"(\d+) of \d+ samples clipped")


@dataclass(frozen=True)
class Point:
	system: System
	test: str
	channel: Channel
	bursts: int
	ok: int
	wrong: int
	stages: dict  # this receiver's loss by stage; empty for the peers
	clipped: int

	@property
	def success(self) -> float:
		return self.ok / self.bursts


def seed(system: System, test: str, channel: Channel) -> int:
	"""The channel's seed: it depends on the point and the signal, not on the
	demodulator."""
	return seed_of(f"{system.signal}/{test}/{channel.key()}")


def run(programs: Programs, system: System, signal: Signal, test: str, channel: Channel) -> Point:
	with open(signal.path, "rb") as clean, tempfile.TemporaryFile() as err:
		noisy = subprocess.Popen([programs.channel, *channel.arguments(system.rate, system.noise, seed(system, test, channel))], stdin=clean,
					 stdout=subprocess.PIPE, stderr=err)
		out = subprocess.run(receiver(programs, system, signal.count), stdin=noisy.stdout, capture_output=True,
				     text=True).stdout
		noisy.stdout.close()
		if noisy.wait() != 0:
			raise RuntimeError(f"burst_channel failed on {system.name} {test} {channel}")
		err.seek(0)
		report = CLIPPED.search(err.read().decode())
	clipped = int(report.group(1)) if report else 0
	lines = out.splitlines()
	if system.family == "ours":
		frames = events.our_frames(lines, signal.payloads)
		stages = events.classify(lines, signal.payloads, system.mode)
	else:
		frames, stages = events.peer_frames(lines), {}
	point = Point(system, test, channel, signal.count, len(frames.received), frames.wrong, stages, clipped)
	print(f"{system.name} {test} {channel.key()}: {point.ok}/{point.bursts}", file=sys.stderr, flush=True)
	return point
