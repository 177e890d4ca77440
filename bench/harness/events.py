"""What a receiver's output says about the bursts that were sent.

This receiver writes event lines; each burst carries its own call sign
(bursts.call_sign) and payload, so its lines are matched to bursts in order:
a SYNC, NOPE or PING names its burst; PREAMBLE_FAIL lines between two named
bursts go, in order, to the bursts in between that have nothing else. Per
burst:
  ok             SYNC with the right mode, then MESSAGE with the sent payload
  no_detect      no event line for the burst
  meta_rejected  PREAMBLE_FAIL, or valid metadata of another mode (NOPE, PING,
                 SYNC with a wrong mode)
  crc_failed     SYNC, then MESSAGE with FLIPS:-1
  wrong_payload  SYNC, then MESSAGE with FLIPS >= 0 and another payload
  cut_off        SYNC, then no MESSAGE (another detection ended the burst)
false_alarms counts event lines left over after every burst has had one.
The peers' programs print FRAME INDEX END_SAMPLE COMPUTE_US for a payload
that was sent and WRONG END_SAMPLE for one that passed its check but was not.
"""

import re
from dataclasses import dataclass, field

STAGES = ("ok", "no_detect", "meta_rejected", "crc_failed", "wrong_payload", "cut_off")
CALL = re.compile(r"B(\d+)$")


@dataclass
class Frames:
	"""Bursts received: index (from 0) to the input position and the CPU
	microseconds of the first time each came out; payloads not sent."""
	received: dict = field(default_factory=dict)
	wrong: int = 0


def field_of(line: str, name: str) -> str:
	start = line.find(name)
	return line[start + len(name):].split("|", 1)[0] if start >= 0 else ""


def message_payload(line: str) -> str:
	return line[line.index("|PAYLOAD:") + 9:]


def peer_frames(lines: list[str]) -> Frames:
	frames = Frames()
	for line in lines:
		words = line.split()
		if words and words[0] == "FRAME":
			frames.received.setdefault(int(words[1]), (int(words[2]), float(words[3])))
		elif words and words[0] == "WRONG":
			frames.wrong += 1
	return frames


def our_frames(lines: list[str], payloads: tuple) -> Frames:
	"""MESSAGE lines that passed their check, by the burst whose payload they
	carry; a timed line has the position and CPU time in front."""
	sent = {text: i for i, text in enumerate(payloads)}
	frames = Frames()
	for line in lines:
		at = line.find("EVENT:MESSAGE|FLIPS:")
		if at < 0 or int(field_of(line, "FLIPS:")) < 0:
			continue
		front = line[:at].split()
		timing = (int(front[0]), float(front[1])) if len(front) == 2 else (0, 0.0)
		index = sent.get(message_payload(line))
		if index is None:
			frames.wrong += 1
		else:
			frames.received.setdefault(index, timing)
	return frames


def classify(lines: list[str], payloads: tuple, mode: int) -> dict:
	"""Counts of STAGES over the bursts, and false_alarms."""
	count = len(payloads)
	state = [""] * count
	pending = 0
	false_alarms = 0
	current, last = 0, -1

	def settle(upto: int) -> None:
		nonlocal pending, false_alarms
		for j in range(current, upto):
			if pending == 0:
				break
			if not state[j]:
				state[j] = "meta_rejected"
				pending -= 1
		false_alarms += pending
		pending = 0

	k = 0
	while k < len(lines):
		line = lines[k]
		following = lines[k + 1] if k + 1 < len(lines) else ""
		sync = line.startswith("EVENT:SYNC|")
		if sync or line.startswith("EVENT:NOPE|") or line.startswith("EVENT:PING|"):
			named = CALL.match(field_of(line, "CALL:").rstrip())
			j = int(named.group(1)) - 1 if named else -1
			again = j == last and j >= 0 and state[j] == "cut_off"
			if j < 0 or j >= count or (j < current and not again):
				pending += 1
				if sync and following.startswith("EVENT:MESSAGE"):
					k += 1
			else:
				if not again:
					settle(j)
				last, current = j, j + 1
				if not sync or field_of(line, "MODE:") != str(mode):
					state[j] = "meta_rejected"
					if sync and following.startswith("EVENT:MESSAGE"):
						k += 1
				elif following.startswith("EVENT:MESSAGE"):
					k += 1
					if int(field_of(following, "FLIPS:")) < 0:
						state[j] = "crc_failed"
					else:
						state[j] = "ok" if message_payload(following) == payloads[j] else "wrong_payload"
				else:
					state[j] = "cut_off"
					if following.startswith("EVENT:PREAMBLE_FAIL"):
						k += 1
		elif line:
			pending += 1
		k += 1
	settle(count)
	counts = {stage: 0 for stage in STAGES}
	for s in state:
		counts[s or "no_detect"] += 1
	counts["false_alarms"] = false_alarms
	return counts
