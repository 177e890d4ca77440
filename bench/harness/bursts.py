"""The bursts each system sends: one file of COUNT bursts per system and
silence, with the payloads a receiver must give back."""

import os
import pathlib
import random
import subprocess
from dataclasses import dataclass

from .channel import LEVEL
from .programs import Programs
from .systems import System

# Payloads of every run come from this seed; the channel's seeds from the
# name of each point.
SEED = 1
LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"


@dataclass(frozen=True)
class Signal:
	path: pathlib.Path
	count: int
	rate: int
	payloads: tuple  # this receiver's texts by burst, from 0; empty for the peers

	@property
	def period(self) -> float:
		"""Seconds from one burst's start to the next's."""
		return os.path.getsize(self.path) / 2 / self.count / self.rate


def call_sign(index: int) -> str:
	"""Call sign of burst INDEX (from 0): the receiver's metadata names the
	burst even when its payload is lost."""
	return f"B{index + 1:04d}"


def payload(index: int, size: int) -> str:
	"""Text payload of burst INDEX: its call sign, then letters and digits up
	to the mode's capacity, different for every burst."""
	rng = random.Random(SEED * 100000 + index)
	text = call_sign(index) + " "
	return text + "".join(rng.choice(LETTERS) for _ in range(size - len(text)))


def send(programs: Programs, system: System, count: int, silence: float, path: pathlib.Path) -> Signal:
	with open(path, "wb") as out:
		if system.family == "ours":
			texts = tuple(payload(i, system.payload_bytes) for i in range(count))
			for i, text in enumerate(texts):
				subprocess.run([programs.encode, "--rate", str(system.rate), "--mode", str(system.mode), "--mapping",
						str(system.mapping), "--level", str(LEVEL), "--silence", f"{silence:g}", "--call",
						call_sign(i), "--text", text], stdout=out, check=True)
		else:
			texts = ()
			subprocess.run([programs.peer(system.family + "_send"), system.variant, str(count), str(SEED),
					f"{silence:g}"], stdout=out, check=True)
	return Signal(path, count, system.rate, texts)


def receiver(programs: Programs, system: System, count: int, timed: bool = False) -> list[str]:
	"""The command that reads the noisy samples: event lines (this receiver,
	with position and CPU time in front when timed) or FRAME and WRONG lines."""
	if system.family == "ours":
		if timed:
			return [programs.peer("stream_latency"), str(system.rate), str(system.mapping)]
		return [programs.decode, "--demod", system.demod, str(system.rate), str(system.mapping)]
	return [programs.peer(system.family + "_receive"), system.variant, str(count), str(SEED)]
