import unittest

from harness import events

SENT = ("B0001 one", "B0002 two", "B0003 three", "B0004 four", "B0005 five", "B0006 six", "B0007 seven", "B0008 eight")


def sync(call: str, mode: int = 15) -> str:
	return f"EVENT:SYNC|CFO:1500|MODE:{mode}|CALL:{call}    "


def message(flips: int, text: str) -> str:
	return f"EVENT:MESSAGE|FLIPS:{flips}|PAYLOAD:{text}"


class Classify(unittest.TestCase):
	def test_every_stage_of_loss(self):
		lines = [
			sync("B0001"), message(0, SENT[0]),  # ok
			sync("B0002"), message(-1, ""),  # crc_failed
			# B0003: nothing at all
			"EVENT:PREAMBLE_FAIL",  # B0004, unnamed, before B0005
			"EVENT:NOPE|MODE:99|CALL:B0005",  # meta_rejected
			sync("B0006"), message(3, "B0006 sux"),  # wrong_payload
			sync("B0007"), "EVENT:PREAMBLE_FAIL",  # cut_off; its failure is the cut
			sync("B0008", mode=14), message(0, SENT[7]),  # another mode: meta
			"EVENT:PREAMBLE_FAIL",  # after the last burst: a false alarm
		]
		got = events.classify(lines, SENT, 15)
		self.assertEqual(got, {"ok": 1, "crc_failed": 1, "no_detect": 1, "meta_rejected": 3, "wrong_payload": 1,
				       "cut_off": 1, "false_alarms": 1})

	def test_unnamed_failures_fill_the_gap_before_the_next_burst_in_order(self):
		lines = ["EVENT:PREAMBLE_FAIL", "EVENT:PREAMBLE_FAIL", sync("B0004"), message(0, SENT[3])]
		got = events.classify(lines, SENT[:4], 15)
		self.assertEqual((got["meta_rejected"], got["no_detect"], got["ok"], got["false_alarms"]), (2, 1, 1, 0))
		# More failures than bursts without a line: the rest are false alarms.
		got = events.classify(["EVENT:PREAMBLE_FAIL"] * 3 + [sync("B0002"), message(0, SENT[1])], SENT[:2], 15)
		self.assertEqual((got["meta_rejected"], got["ok"], got["false_alarms"]), (1, 1, 2))

	def test_a_burst_named_twice_or_out_of_range_is_a_false_alarm(self):
		lines = [sync("B0001"), message(0, SENT[0]), sync("B0001"), message(0, SENT[0]), sync("B0099"),
			 message(0, "x"), sync("N0CALL"), message(0, "y")]
		got = events.classify(lines, SENT[:1], 15)
		self.assertEqual((got["ok"], got["false_alarms"]), (1, 3))

	def test_a_cut_off_burst_detected_again_counts_once(self):
		lines = [sync("B0001"), sync("B0001"), message(0, SENT[0])]
		got = events.classify(lines, SENT[:1], 15)
		self.assertEqual((got["ok"], got["cut_off"], got["false_alarms"]), (1, 0, 0))


class Frames(unittest.TestCase):
	def test_our_messages_by_payload(self):
		lines = [sync("B0002"), message(0, SENT[1]), message(2, SENT[1]), message(-1, SENT[2]), message(0, "B0003 thr"),
			 "1200 35.5 " + message(0, SENT[4])]
		got = events.our_frames(lines, SENT)
		self.assertEqual(got.received, {1: (0, 0.0), 4: (1200, 35.5)})
		self.assertEqual(got.wrong, 1)

	def test_peer_lines(self):
		got = events.peer_frames(["FRAME 3 800 12.5", "FRAME 3 900 1.0", "WRONG 1000", "FRAME 0 100 2"])
		self.assertEqual(got.received, {3: (800, 12.5), 0: (100, 2.0)})
		self.assertEqual(got.wrong, 1)


if __name__ == "__main__":
	unittest.main()
