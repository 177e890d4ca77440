"""Points measured so far, kept in a CSV file that every new point is
appended to, so that a run that stops can go on where it stopped: the seeds
make a point the same whenever it is measured."""

import pathlib
import threading

from . import table_file

class Missing(Exception):
	"""A point the journal lacks, where nothing may be measured."""


KEY = ("system", "test", "snr_db", "cfo_hz", "ppm", "echo", "fading", "bursts", "silence_s")


def key(row: dict) -> tuple:
	return tuple(str(row[c]) for c in KEY)


class Journal:
	def __init__(self, path: pathlib.Path | None, columns: list[str], measure: bool = True):
		self.path, self.columns, self.measure, self.lock = path, columns, measure, threading.Lock()
		self.rows = {key(r): r for r in table_file.read(path)} if path else {}

	def get(self, identity: dict) -> dict | None:
		return self.rows.get(key(identity))

	def add(self, row: dict) -> None:
		if not self.path:
			return
		with self.lock:
			fresh = not self.path.exists()
			with open(self.path, "a") as f:
				if fresh:
					f.write(",".join(self.columns) + "\n")
				f.write(",".join(str(row.get(c, "")) for c in self.columns) + "\n")
