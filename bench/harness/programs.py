"""The built programs the harness runs, and the mode table from encode_stream."""

import os
import pathlib
import subprocess
from dataclasses import dataclass

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
PEER_PROGRAMS = ("freedv_send", "freedv_receive", "liquid_send", "liquid_receive", "occupied_bandwidth", "stream_latency")
TARGETS = ("decode_stream", "encode_stream", "burst_channel") + PEER_PROGRAMS


@dataclass(frozen=True)
class Programs:
	build: pathlib.Path

	@property
	def decode(self) -> str:
		return str(self.build / "decode_stream")

	@property
	def encode(self) -> str:
		return str(self.build / "tools" / "encode_stream")

	@property
	def channel(self) -> str:
		return str(self.build / "tools" / "burst_channel")

	def peer(self, name: str) -> str:
		return str(self.build / "bench" / "peers" / name)

	def missing(self, peers: bool) -> list[str]:
		paths = [self.decode, self.encode, self.channel] + ([self.peer(n) for n in PEER_PROGRAMS] if peers else [])
		return [p for p in paths if not os.access(p, os.X_OK)]


def build_peers(build: pathlib.Path, jobs: int) -> None:
	"""Configures and builds the programs with the peers' (Release)."""
	subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_PEER_BENCH=ON",
			"-DBUILD_BENCHMARKS=OFF", "-DBUILD_TESTING=OFF"], check=True, stdout=subprocess.DEVNULL)
	subprocess.run(["cmake", "--build", str(build), "-j", str(jobs), "--target", *TARGETS], check=True,
		       stdout=subprocess.DEVNULL)


@dataclass(frozen=True)
class Mode:
	mode: int
	payload_bytes: int
	information_bits: int
	code_bits: int
	burst_seconds: dict  # by mapping


def mode_table(programs: Programs) -> dict[int, Mode]:
	"""The payload modes as encode_stream --list-modes prints them."""
	text = subprocess.run([programs.encode, "--list-modes"], check=True, capture_output=True, text=True).stdout
	lines = text.splitlines()
	header = lines[0].split()
	mappings = [int(name.rsplit("_", 1)[1]) for name in header if name.startswith("burst_s_")]
	modes = {}
	for line in lines[1:]:
		row = dict(zip(header, line.split()))
		modes[int(row["mode"])] = Mode(int(row["mode"]), int(row["payload_bytes"]), int(row["information_bits"]),
					     int(row["code_bits"]), {m: float(row[f"burst_s_{m}"]) for m in mappings})
	return modes
