"""Command line of the harness: bench/harness SUBCOMMAND [OPTION]...

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

from . import peers, run_log, table_file
from .programs import ROOT, Programs, build_peers, mode_table
from .systems import catalogue, select


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


def command_text(argv: list[str]) -> str:
	return "bench/harness " + shlex.join(argv)


def run_peers(args, argv) -> None:
	parts = frozenset(args.parts.split(","))
	if parts - set(peers.PARTS):
		raise SystemExit(f"harness: parts are {','.join(peers.PARTS)}")
	programs = programs_for(args, True)
	results = pathlib.Path(args.results)
	systems = select(catalogue(mode_table(programs), expected(results)), args.systems)
	began, revision = time.time(), run_log.revision()
	with tempfile.TemporaryDirectory(prefix="harness.") as work:
		run = peers.Run(programs, args.bursts, pathlib.Path(work), parts)
		print(f"{len(systems)} systems, {args.bursts} bursts per point, {args.jobs} jobs", file=sys.stderr)
		rows, points = peers.measure(run, systems, args.jobs)
	peers.store(results, rows, points, systems, parts)
	tests = sum(int(p["bursts"]) for p in points)
	extra = [f"points: {len(points)}, bursts: {tests}; {peers.SILENCE:g} s of silence on either side of a burst, "
		 f"{peers.FADING_SILENCE:g} s under the fading searches"]
	text = "\n".join(run_log.lines(command_text(argv) + f" (bursts {args.bursts}, jobs {args.jobs})", revision, began,
				       extra)) + "\n"
	(results / "peers.log").write_text(text)
	sys.stderr.write(text)


def main(argv: list[str]) -> int:
	parser = argparse.ArgumentParser(prog="bench/harness", description=__doc__,
					 formatter_class=argparse.RawDescriptionHelpFormatter)
	parser.add_argument("--build", help="build directory holding the programs")
	parser.add_argument("--bursts", type=int, default=int(os.environ.get("BURSTS", 100)),
			    help="bursts per point (default $BURSTS or 100)")
	parser.add_argument("--jobs", type=int, default=int(os.environ.get("JOBS", 2)),
			    help="parallel jobs (default $JOBS or 2)")
	parser.add_argument("--quick", action="store_true", help="10 bursts per point: a smoke test, not a measurement")
	parser.add_argument("--results", default=str(ROOT / "bench" / "results"), help="folder of the CSV files")
	parser.add_argument("--docs", default=str(ROOT / "docs"), help="folder of the plots")
	sub = parser.add_subparsers(dest="command", required=True)
	p = sub.add_parser("peers", help="this receiver beside the peers")
	p.add_argument("--systems", help="comma-separated names or patterns (default: all), e.g. 'freedv-*,ours-8000-15-4*'")
	p.add_argument("--parts", default=",".join(peers.PARTS), help="what to measure (default: all of %(default)s)")
	args = parser.parse_args(argv)
	if args.quick:
		args.bursts = 10
	if args.command == "peers":
		run_peers(args, argv)
	return 0
