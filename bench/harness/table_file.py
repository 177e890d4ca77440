"""CSV files of results: rows as dictionaries, merged with what an earlier
run stored so that a run over some systems keeps the others' rows."""

import csv
import pathlib


def read(path: pathlib.Path) -> list[dict]:
	if not path.exists():
		return []
	with open(path, newline="") as f:
		return list(csv.DictReader(f))


def write(path: pathlib.Path, columns: list[str], rows: list[dict]) -> None:
	path.parent.mkdir(parents=True, exist_ok=True)
	with open(path, "w", newline="") as f:
		out = csv.DictWriter(f, columns, extrasaction="ignore", lineterminator="\n")
		out.writeheader()
		for row in rows:
			out.writerow({c: row.get(c, "") for c in columns})


def merge(old: list[dict], new: list[dict], key) -> list[dict]:
	"""The old rows with each new row's fields laid over the old row of the
	same key (a new row where there is none), in the old order."""
	merged = {key(row): dict(row) for row in old}
	for row in new:
		merged.setdefault(key(row), {}).update(row)
	return list(merged.values())
