"""Command line of the harness: python3 bench/harness [OPTION]... SUBCOMMAND [OPTION]...

  peers        this receiver beside FreeDV and liquid-dsp: white noise,
               robustness, Watterson fading, bandwidth, speed; writes
               peers.csv, peers_points.csv, peers.log and docs/peers*.png
  sensitivity  this receiver's success curves against SNR for every rate,
               mode, mapping and demodulator, loss by stage, robustness;
               writes sensitivity.csv, sensitivity_snr90.csv,
               sensitivity.log and docs/sensitivity_*.png
  speed        decode speed of liquid-dsp's QPSK frames and decode_stream
               on ten minutes of bursts, and of decode_stream on noise alone
  plot         redraws the plots from the CSV files
  table        prints peers.csv as a Markdown table

Without --build the programs are configured and built in build/peers
(Release, -DBUILD_PEER_BENCH=ON; needs libcodec2-dev and libliquid-dev).
Every run is deterministic: payloads come from one seed, the channel's seeds
from the name of each point, whatever the number of jobs.
"""

import argparse
import os
import pathlib
import shlex
import sys
import tempfile
import time

from . import markdown, peers, run_log, sensitivity, speed, table_file
from .journal import Journal
from .programs import ROOT, Programs, build_peers, mode_table
from .systems import DEMODULATORS, catalogue, select


def programs_for(args, peers_needed: bool) -> Programs:
	if args.build:
		build = pathlib.Path(args.build).resolve()
	else:
		build = ROOT / "build" / "peers"
		print(f"building in {build}", file=sys.stderr)
		build_peers(build, args.jobs)
	programs = Programs(build)
	missing = programs.missing(peers_needed)
	if missing:
		raise SystemExit(f"harness: missing {' '.join(missing)} (configure with -DBUILD_PEER_BENCH=ON; "
				 "libcodec2-dev and libliquid-dev)")
	return programs


def expected(results: pathlib.Path) -> dict:
	"""Stored 90 % points in white noise, where the searches start."""
	rows = table_file.read(results / "sensitivity_snr90.csv")
	return {(int(r["rate"]), r["noise"], int(r["mode"]), int(r["mapping"]), r["demod"]): float(r["snr90_db"])
		for r in rows if r["snr90_db"]}


def command_text(argv: list[str], args) -> str:
	return f"python3 bench/harness {shlex.join(argv)} (bursts {args.bursts}, jobs {args.jobs})"


def write_log(path: pathlib.Path, lines: list[str], earlier: bool) -> None:
	"""The run's lines; when rows of an earlier run stay in the results, that
	run's log after them."""
	text = "\n".join(lines) + "\n"
	if earlier and path.exists():
		text += "rows this run did not measure come from:\n" + path.read_text()
	path.write_text(text)
	sys.stderr.write("\n".join(lines) + "\n")


def run_peers(args, argv) -> None:
	parts = frozenset(args.parts.split(","))
	if parts - set(peers.PARTS):
		raise SystemExit(f"harness: parts are {','.join(peers.PARTS)}")
	programs = programs_for(args, True)
	results = pathlib.Path(args.results)
	every = catalogue(mode_table(programs), expected(results))
	systems = select(every, args.systems)
	began, revision = time.time(), run_log.revision()
	with tempfile.TemporaryDirectory(prefix="harness.") as work:
		if args.no_measure and not args.journal:
			raise SystemExit("harness: --no-measure takes the points from --journal")
		try:
			journal = Journal(pathlib.Path(args.journal) if args.journal else None, peers.POINT_COLUMNS,
					  not args.no_measure)
		except ValueError as error:
			raise SystemExit(f"harness: {error}")
		run = peers.Run(programs, args.bursts, pathlib.Path(work), parts, journal)
		print(f"{len(systems)} systems, {args.bursts} bursts per point, {args.jobs} jobs", file=sys.stderr)
		rows, points = peers.measure(run, systems, args.jobs)
		if "speed" in parts:
			for system, row in zip(peers.ordered(systems), rows):
				row.update(speed.measure(programs, system, args.seconds, pathlib.Path(work) / system.name))
	stored = peers.store(results, rows, points, systems, parts)
	draw_peers(stored, args.bursts, pathlib.Path(args.docs))
	extra = [f"points: {len(points)}, bursts: {sum(int(p['bursts']) for p in points)}; {peers.SILENCE:g} s of silence "
		 "on either side of every burst"]
	write_log(results / "peers.log", run_log.lines(command_text(argv, args), revision, began, extra),
		  len(systems) < len(every) or parts != set(peers.PARTS))


def draw_peers(rows: list[dict], bursts: int, docs: pathlib.Path) -> None:
	from . import plots

	plots.peers(rows, bursts, docs / "peers.png")
	plots.fading(rows, bursts, docs / "peers_fading.png")


def run_sensitivity(args, argv) -> None:
	demods = args.demod.split()
	programs = programs_for(args, False)
	results = pathlib.Path(args.results)
	began, revision = time.time(), run_log.revision()
	modes = mode_table(programs)
	if args.modes:
		modes = {m: modes[m] for m in map(int, args.modes.split(","))}
	with tempfile.TemporaryDirectory(prefix="harness.") as work:
		run = sensitivity.Run(programs, args.bursts, pathlib.Path(work))
		rows = sensitivity.measure(run, modes, demods, args.jobs)
	every = sensitivity.store(results, rows, demods, list(modes))
	draw_sensitivity(every, pathlib.Path(args.docs))
	extra = [f"points: {len(rows)}, bursts: {sum(int(r['bursts']) for r in rows)}"]
	write_log(results / "sensitivity.log", run_log.lines(command_text(argv, args), revision, began, extra),
		  len(every) > len(rows))


def draw_sensitivity(rows: list[dict], docs: pathlib.Path) -> None:
	from . import plots

	for demod in sorted({r["demod"] for r in rows}):
		plots.sensitivity(rows, demod, docs)


def run_speed(args) -> None:
	programs = programs_for(args, True)
	modes = mode_table(programs)
	systems = select(catalogue(modes, {}), args.systems or "liquid-qpsk,ours-8000-15-4,ours-48000-15-4")
	with tempfile.TemporaryDirectory(prefix="harness.") as work:
		sys.stdout.write(speed.table(programs, systems, args.seconds, pathlib.Path(work)))


def run_plot(args) -> None:
	results, docs = pathlib.Path(args.results), pathlib.Path(args.docs)
	rows = table_file.read(results / "peers.csv")
	draw_peers(rows, bursts_of(table_file.read(results / "peers_points.csv")), docs)
	rows = table_file.read(results / "sensitivity.csv")
	if rows:
		table_file.write(results / "sensitivity_snr90.csv", sensitivity.SNR90_COLUMNS, sensitivity.snr90(rows))
		draw_sensitivity(rows, docs)


def bursts_of(points: list[dict]) -> int:
	return max((int(p["bursts"]) for p in points), default=0)


def main(argv: list[str]) -> int:
	parser = argparse.ArgumentParser(prog="python3 bench/harness", description=__doc__,
					 formatter_class=argparse.RawDescriptionHelpFormatter)
	parser.add_argument("--build", help="build folder holding the programs")
	parser.add_argument("--bursts", type=int, default=int(os.environ.get("BURSTS", 100)),
			    help="bursts per point (default $BURSTS or 100)")
	parser.add_argument("--jobs", type=int, default=int(os.environ.get("JOBS", 2)),
			    help="parallel jobs (default $JOBS or 2)")
	parser.add_argument("--quick", action="store_true",
			    help="10 bursts per point and 30 s of speed runs: a smoke test, not a measurement")
	parser.add_argument("--seconds", type=float, default=float(os.environ.get("SPEED_SECONDS", 600)),
			    help="audio of the speed runs (default $SPEED_SECONDS or 600)")
	parser.add_argument("--results", default=str(ROOT / "bench" / "results"), help="folder of the CSV files")
	parser.add_argument("--docs", default=str(ROOT / "docs"), help="folder of the plots")
	sub = parser.add_subparsers(dest="command", required=True)
	p = sub.add_parser("peers", help="this receiver beside the peers")
	p.add_argument("--systems", help="comma-separated names or patterns (default: all), e.g. 'freedv-*,ours-8000-15-4*'")
	p.add_argument("--parts", default=",".join(peers.PARTS), help="what to measure (default: all of %(default)s)")
	p.add_argument("--journal", help="CSV file of points measured so far: reused, and every new point appended")
	p.add_argument("--no-measure", action="store_true",
		       help="take every point from the journal and measure none; a search it does not complete stays empty")
	p = sub.add_parser("sensitivity", help="this receiver's curves and robustness")
	p.add_argument("--demod", default=os.environ.get("DEMOD", " ".join(DEMODULATORS)),
		       help="demodulators side by side (default $DEMOD or '%(default)s')")
	p.add_argument("--modes", help="comma-separated modes (default: every mode of encode_stream --list-modes; "
		       f"the robustness points need mode {sensitivity.ROBUST_MODE})")
	p = sub.add_parser("speed", help="decode speed on ten minutes of bursts and on noise alone")
	p.add_argument("--systems", help="comma-separated names or patterns (default liquid-qpsk, ours-*-15-4)")
	sub.add_parser("plot", help="redraw the plots from the CSV files")
	sub.add_parser("table", help="print peers.csv as a Markdown table")
	args = parser.parse_args(argv)
	if args.quick:
		args.bursts, args.seconds = 10, 30
	if args.command == "peers":
		run_peers(args, argv)
	elif args.command == "sensitivity":
		run_sensitivity(args, argv)
	elif args.command == "speed":
		run_speed(args)
	elif args.command == "plot":
		run_plot(args)
	else:
		sys.stdout.write(markdown.peers(table_file.read(pathlib.Path(args.results) / "peers.csv")))
	return 0
