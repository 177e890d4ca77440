"""Points measured so far, kept in a CSV file that every new point is
appended to, so that a run that stops can go on where it stopped: the seeds
make a point the same whenever it is measured."""

import csv
import pathlib
import threading

from . import table_file

class Missing(Exception):
	"""A point the journal lacks, where nothing may be measured."""


KEY = ("system", "test", "snr_db", "cfo_hz", "ppm", "echo", "fading", "bursts", "silence_s")


def key(row: dict) -> tuple:
	return tuple(str(row[c]) for c in KEY)


def header(path: pathlib.Path) -> list[str]:
	if not path.exists():
		return []
	with open(path, newline="") as f:
		return next(csv.reader(f), [])


class Journal:
	def __init__(self, path: pathlib.Path | None, columns: list[str], measure: bool = True):
		self.path, self.measure, self.lock = path, measure, threading.Lock()
		# New points follow the file's own columns, which a results file
		# kept by hand may order otherwise or extend (a build column, say):
		# appended in ours they would be read back under the wrong names.
		self.columns = (header(path) if path else []) or columns
		lacking = [c for c in columns if c not in self.columns]
		if lacking:
			raise ValueError(f"{path} lacks the columns {', '.join(lacking)}")
		self.rows = {key(r): r for r in table_file.read(path)} if path else {}

	def get(self, identity: dict) -> dict | None:
		return self.rows.get(key(identity))

	def add(self, row: dict) -> None:
		if not self.path:
			return
		with self.lock:
			# A file made empty beforehand (mktemp, say) gets its header too.
			fresh = not self.path.exists() or self.path.stat().st_size == 0
			with open(self.path, "a", newline="") as f:
				out = csv.writer(f, lineterminator="\n")
				if fresh:
					out.writerow(self.columns)
				out.writerow(str(row.get(c, "")) for c in self.columns)
