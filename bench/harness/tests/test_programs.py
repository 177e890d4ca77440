"""The harness through the real programs: a handful of bursts per point."""

import os
import pathlib
import tempfile
import unittest

from harness import search
from harness.bursts import send
from harness.channel import Channel
from harness.measure import run, seed
from harness.programs import Programs, mode_table
from harness.systems import DEMODULATORS, System, ours

BUILD = os.environ.get("HARNESS_BUILD")
BURSTS = 4


@unittest.skipUnless(BUILD, "HARNESS_BUILD names no build folder")
class ThroughThePrograms(unittest.TestCase):
	@classmethod
	def setUpClass(cls):
		cls.programs = Programs(pathlib.Path(BUILD))
		cls.modes = mode_table(cls.programs)
		cls.folder = tempfile.TemporaryDirectory(prefix="harness_test.")
		cls.work = pathlib.Path(cls.folder.name)

	@classmethod
	def tearDownClass(cls):
		cls.folder.cleanup()

	def signal(self, system: System):
		return send(self.programs, system, BURSTS, 0.25, self.work / f"{system.name}.s16")

	def test_mode_table_comes_from_encode_stream(self):
		self.assertEqual({m: mode.payload_bytes for m, mode in self.modes.items()}, {14: 170, 15: 128, 16: 85})
		for mode in self.modes.values():
			self.assertEqual(mode.information_bits, 8 * mode.payload_bytes + 32)
			self.assertLess(mode.burst_seconds[4], mode.burst_seconds[2])

	def test_every_burst_arrives_at_high_snr_and_none_far_below(self):
		for demod in DEMODULATORS:
			for rate in (8000, 48000):
				system = ours(rate, self.modes[16], 4, demod, 3)
				signal = self.signal(system)
				with self.subTest(system=system.name):
					clear = run(self.programs, system, signal, "awgn", Channel(25))
					self.assertEqual((clear.ok, clear.wrong, clear.stages["ok"]), (BURSTS, 0, BURSTS))
					lost = run(self.programs, system, signal, "awgn", Channel(-15))
					self.assertEqual(lost.ok, 0)
					self.assertEqual(sum(lost.stages[s] for s in ("no_detect", "meta_rejected", "crc_failed")), BURSTS)

	def test_points_repeat_exactly_and_demodulators_share_the_noise(self):
		system = ours(8000, self.modes[15], 2, "reference", 3)
		signal = self.signal(system)
		channel = Channel(6, fading="moderate")
		first = run(self.programs, system, signal, "watterson", channel)
		self.assertEqual(first, run(self.programs, system, signal, "watterson", channel))
		enhanced = ours(8000, self.modes[15], 2, "enhanced", 3)
		self.assertEqual(seed(system, "awgn", Channel(3)), seed(enhanced, "awgn", Channel(3)))
		others = {seed(system, "awgn", Channel(3.5)), seed(system, "cfo", Channel(3)),
			  seed(ours(8000, self.modes[15], 4, "reference", 3), "awgn", Channel(3))}
		self.assertNotIn(seed(system, "awgn", Channel(3)), others)
		self.assertEqual(len(others), 3)

	def test_each_system_runs_its_own_demodulator(self):
		# At 3 dB mode 14 with mapping 4 lies below the reference's waterfall
		# and above the enhanced demodulator's.
		reference, enhanced = (ours(8000, self.modes[14], 4, d, 3) for d in DEMODULATORS)
		signal = self.signal(reference)
		self.assertLessEqual(run(self.programs, reference, signal, "awgn", Channel(3)).ok, BURSTS // 2)
		self.assertEqual(run(self.programs, enhanced, signal, "awgn", Channel(3)).ok, BURSTS)

	def test_search_finds_the_waterfall(self):
		system = ours(8000, self.modes[16], 2, "reference", 3)
		signal = self.signal(system)
		points = {}
		crossing = search.find(lambda snr: run(self.programs, system, signal, "awgn", Channel(snr)).success, 0.9, 10, 2,
				       0.5, -10, 30, grow=2, points=points)
		self.assertTrue(-3 < crossing.snr < 6, crossing)
		self.assertLessEqual(len(points), 10)

	@unittest.skipUnless(BUILD and os.access(pathlib.Path(BUILD) / "bench/peers/freedv_receive", os.X_OK),
			     "built without the peers")
	def test_a_peer_receives_its_bursts(self):
		for name, family, variant, size in (("freedv-DATAC0", "freedv", "DATAC0", 14), ("liquid-bpsk", "liquid", "bpsk", 128)):
			system = System(name, family, 8000, "white", variant, size, 0)
			point = run(self.programs, system, self.signal(system), "awgn", Channel(20))
			self.assertEqual((point.ok, point.wrong), (BURSTS, 0), name)


if __name__ == "__main__":
	unittest.main()
