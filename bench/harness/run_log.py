"""The log that goes with a results file: the command, the builds, the
machine and what the run cost."""

import os
import platform
import resource
import subprocess
import time

from .programs import ROOT


def output(command: list[str]) -> str:
	try:
		return subprocess.run(command, capture_output=True, text=True).stdout.strip()
	except OSError:
		return ""


def cpu_model() -> str:
	with open("/proc/cpuinfo") as f:
		for line in f:
			if line.startswith("model name"):
				return line.split(":", 1)[1].strip()
	return platform.processor()


def cpu_seconds() -> float:
	"""User and system time of the harness and every program it has waited for."""
	own, children = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
	return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def revision() -> str:
	return output(["git", "-C", str(ROOT), "describe", "--always", "--dirty"]) or "unknown"


def lines(command: str, revision_: str, began: float, extra: list[str]) -> list[str]:
	versions = [output(["dpkg-query", "-W", "-f", "${Version}", p]) for p in ("libcodec2-dev", "libliquid-dev")]
	return [f"command: {command}",
		f"receiver: {revision_}; peers: libcodec2 {versions[0] or '-'}, liquid-dsp {versions[1] or '-'}",
		f"machine: {os.cpu_count()} cores, {cpu_model()}, load average at the end "
		f"{' '.join(f'{x:.2f}' for x in os.getloadavg())}",
		f"started: {time.strftime('%Y-%m-%d %H:%M:%S UTC', time.gmtime(began))}, wall time: {time.time() - began:.0f} s",
		f"cpu time of the harness and all it ran: {cpu_seconds():.0f} s", *extra]
