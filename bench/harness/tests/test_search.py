import math
import unittest

from harness import search


def logistic(middle: float, width: float):
	return lambda snr: 1 / (1 + math.exp(-(snr - middle) / width))


class Counted:
	"""A curve that remembers where it was measured."""

	def __init__(self, curve):
		self.curve, self.calls = curve, []

	def __call__(self, snr: float) -> float:
		self.calls.append(snr)
		return self.curve(snr)


def find(curve, target, start=0.0, points=None):
	return search.find(curve, target, start, 2, 0.5, -10, 30, grow=2, points=points)


class Find(unittest.TestCase):
	def test_crossings_of_smooth_curves_within_the_grid(self):
		for middle in (-7.3, -1.2, 4.0, 9.8, 17.6, 26.1):
			for width in (0.4, 1.5, 4):
				for target in (0.5, 0.9):
					want = middle + width * math.log(target / (1 - target))
					if not -9.5 < want < 29.5:
						continue
					with self.subTest(middle=middle, width=width, target=target):
						got = find(logistic(middle, width), target, start=3)
						self.assertLess(abs(got.snr - want), 0.25 + 0.02 * width)

	def test_measures_only_grid_points_inside_the_limits_and_each_once(self):
		curve = Counted(logistic(21.3, 3))
		points = {}
		find(curve, 0.5, points=points)
		find(curve, 0.9, points=points)
		self.assertEqual(len(curve.calls), len(set(curve.calls)))
		for snr in curve.calls:
			self.assertTrue(-10 <= snr <= 30 and snr * 2 == int(snr * 2), snr)
		# Doubling steps out: a crossing 21 dB from the start costs a few
		# points, not one per grid step.
		self.assertLessEqual(len(curve.calls), 16)

	def test_second_target_reuses_the_first_targets_points(self):
		alone = Counted(logistic(12, 2))
		find(alone, 0.9)
		shared, points = Counted(logistic(12, 2)), {}
		find(shared, 0.5, points=points)
		before = len(shared.calls)
		self.assertAlmostEqual(find(shared, 0.9, points=points).snr, 12 + 2 * math.log(9), delta=0.3)
		self.assertLess(len(shared.calls) - before, len(alone.calls))

	def test_a_flat_curve_below_the_target_never_gets_there(self):
		curve = Counted(lambda snr: 0.85 if snr > 5 else 0.1)
		got = find(curve, 0.9)
		self.assertEqual(got.text(), "never")
		self.assertIn(30, curve.calls)
		self.assertEqual(find(lambda snr: 1.0, 0.5).text(), "<-10")
		# Just under the cap is not never.
		self.assertAlmostEqual(find(logistic(28.5, 0.3), 0.9, start=27).snr, 28.5 + 0.3 * math.log(9), delta=0.25)

	def test_white_noise_steps_are_linear_and_end_a_quarter_apart(self):
		curve = Counted(logistic(2.3, 0.5))
		got = search.find(curve, 0.9, 0, 1, 0.25, -20, 40)
		self.assertEqual(curve.calls[:4], [0, 1, 2, 3])
		self.assertAlmostEqual(got.snr, 2.3 + 0.5 * math.log(9), delta=0.1)


class Interpolate(unittest.TestCase):
	def test_last_crossing_of_a_wandering_curve(self):
		points = {0: 0.1, 5: 0.95, 10: 0.8, 12: 1.0, 14: 0.97}
		self.assertAlmostEqual(search.interpolate(points, 0.9).snr, 11)
		self.assertAlmostEqual(search.interpolate(points, 0.5).snr, 0 + 5 * 0.4 / 0.85)
		self.assertIsNone(search.interpolate({0: 0.2, 3: 0.4}, 0.5).snr)

	def test_bracket_is_the_highest_failure_and_the_next_pass(self):
		self.assertEqual(search.bracket({1: 0.2, 2: 0.6, 3: 0.4, 4: 0.7, 5: 0.9}, 0.5), (3, 4))
		self.assertEqual(search.bracket({1: 0.6, 2: 0.7}, 0.5), (None, 1))
		self.assertEqual(search.bracket({1: 0.1, 2: 0.2}, 0.5), (2, None))


if __name__ == "__main__":
	unittest.main()
