import pathlib
import tempfile
import unittest

from harness.journal import Journal
from harness.peers import POINT_COLUMNS


def point(snr: str, ok: int) -> dict:
	return {"system": "ours-8000-15-4-enhanced", "test": "watterson", "snr_db": snr, "cfo_hz": "0", "ppm": "0",
		"echo": "none", "fading": "moderate", "bursts": "400", "silence_s": "0.5", "ok": str(ok), "wrong": "0",
		"success_pct": f"{ok / 4:g}"}


class Appended(unittest.TestCase):
	def setUp(self):
		self.folder = tempfile.TemporaryDirectory(prefix="harness_journal.")
		self.path = pathlib.Path(self.folder.name) / "points.csv"

	def tearDown(self):
		self.folder.cleanup()

	def test_points_come_back_as_they_were_measured(self):
		for empty in (False, True):
			with self.subTest(empty_file=empty):
				self.path.unlink(missing_ok=True)
				if empty:
					self.path.touch()
				journal = Journal(self.path, POINT_COLUMNS)
				journal.add(point("4", 182))
				journal.add(point("4.5", 214))
				again = Journal(self.path, POINT_COLUMNS)
				self.assertEqual(again.get(point("4.5", 0))["ok"], "214")
				self.assertEqual(again.get(point("4", 0))["ok"], "182")
				self.assertIsNone(again.get(point("5", 0)))

	def test_a_file_of_other_columns_keeps_its_own_order(self):
		# As results kept by hand are: a build column first, the rest reversed.
		columns = ["run_at", *reversed(POINT_COLUMNS)]
		stored = point("4", 179) | {"run_at": "c2e27ca"}
		self.path.write_text(",".join(columns) + "\n" + ",".join(stored.get(c, "") for c in columns) + "\n")
		Journal(self.path, POINT_COLUMNS).add(point("4.5", 214))
		again = Journal(self.path, POINT_COLUMNS)
		self.assertEqual(again.get(point("4", 0))["ok"], "179")
		self.assertEqual(again.get(point("4.5", 0))["ok"], "214")
		self.assertEqual(again.get(point("4.5", 0))["run_at"], "")

	def test_a_file_that_lacks_a_column_is_refused(self):
		self.path.write_text(",".join(c for c in POINT_COLUMNS if c != "ok") + "\n")
		with self.assertRaises(ValueError):
			Journal(self.path, POINT_COLUMNS)
