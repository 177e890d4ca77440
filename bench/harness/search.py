"""Where a curve of success against SNR crosses a target fraction.

Points map SNR (dB) to the fraction of bursts received. Noise makes the
curve wander, so a crossing is taken where the curve crosses the target for
the last time: between the highest SNR that fails and the next SNR above it,
which passes; linear interpolation between the two.
"""

from dataclasses import dataclass
from typing import Callable


@dataclass(frozen=True)
class Crossing:
	snr: float | None = None
	never: bool = False  # below the target up to the cap
	below: float | None = None  # at or above the target down to this floor

	def text(self) -> str:
		if self.never:
			return "never"
		if self.below is not None:
			return f"<{self.below:g}"
		return "" if self.snr is None else f"{self.snr:.1f}"


def bracket(points: dict, target: float) -> tuple:
	"""The highest SNR that fails and the lowest above it that passes; None
	for either that is not among the points."""
	failing = [s for s, r in points.items() if r < target]
	low = max(failing) if failing else None
	passing = [s for s, r in points.items() if r >= target and (low is None or s > low)]
	return low, min(passing) if passing else None


def interpolate(points: dict, target: float) -> Crossing:
	low, high = bracket(points, target)
	if low is None or high is None:
		return Crossing()
	a, b = points[low], points[high]
	return Crossing(low + (high - low) * (target - a) / (b - a))


def on_grid(snr: float, step: float) -> float:
	return round(round(snr / step) * step, 6) + 0.0


def find(success: Callable[[float], float], target: float, start: float, step: float, resolution: float,
	 floor: float, cap: float, grow: float = 1, points: dict | None = None) -> Crossing:
	"""Measures success(snr) on a grid of RESOLUTION dB between FLOOR and CAP
	until two neighbours of the grid bracket TARGET: from START (or from what
	POINTS already hold, which a search for another target may have left)
	outwards in steps of STEP dB, each GROW times the last, then halving."""
	points = {} if points is None else points

	def measure(snr: float) -> bool:
		snr = on_grid(min(max(snr, floor), cap), resolution)
		if snr in points:
			return False
		points[snr] = success(snr)
		return True

	if not points:
		measure(start)
	low, high = bracket(points, target)
	stride = step
	while high is None:
		if low >= cap:
			return Crossing(never=True)
		measure(low + stride)
		stride *= grow
		low, high = bracket(points, target)
	while low is None:
		if high <= floor:
			return Crossing(below=floor)
		measure(high - stride)
		stride *= grow
		low, high = bracket(points, target)
	while high - low > resolution * 1.001 and measure((low + high) / 2):
		low, high = bracket(points, target)
	return interpolate(points, target)


def sweep(success: Callable[[float], float], start: float) -> dict:
	"""A whole curve: 2 dB steps down from START until nothing gets through
	and up until everything does, 0.5 dB steps across the waterfall between
	them, and two points above it (3 and 10 dB) to catch failures that noise
	does not explain."""
	points = {}

	def at(snr: float) -> float:
		snr = on_grid(snr, 0.5)
		if snr not in points:
			points[snr] = success(snr)
		return points[snr]

	snr = start
	for _ in range(10):
		if at(snr) == 0:
			break
		snr -= 2
	low = snr
	for _ in range(25):
		if at(snr) >= 1:
			break
		if at(snr) == 0:
			low = snr
		snr += 2
	high = snr
	at(high)
	for k in range(1, round((high - low) / 0.5)):
		at(low + 0.5 * k)
	at(high + 3)
	at(high + 10)
	return points
