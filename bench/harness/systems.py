"""The systems measured side by side: FreeDV's raw-data modes, liquid-dsp's
OFDM frames and this receiver in every rate, mode, mapping and demodulator."""

from dataclasses import dataclass
from fnmatch import fnmatchcase

from .programs import Mode

DEMODULATORS = ("reference", "enhanced")
MAPPINGS = (2, 4, 8)
# name, family, variant, payload bytes, SNR (dB) where the white-noise search
# for 90 % starts
PEERS = (
	("freedv-DATAC0", "freedv", "DATAC0", 14, -2.6),
	("freedv-DATAC3", "freedv", "DATAC3", 126, -3.2),
	("freedv-DATAC1", "freedv", "DATAC1", 510, 1.0),
	("liquid-qpsk", "liquid", "qpsk", 128, 4.4),
	("liquid-bpsk", "liquid", "bpsk", 128, 1.5),
)


@dataclass(frozen=True)
class System:
	name: str
	family: str  # ours, freedv or liquid
	rate: int
	noise: str  # white, or ssb: behind a radio's pass band
	variant: str  # the peer's mode, or MODE/MAPPING
	payload_bytes: int
	expect: float
	demod: str = ""

	@property
	def signal(self) -> str:
		"""The name of what the sender writes: the demodulators of one
		variant receive the same bursts through the same noise."""
		return self.name.removesuffix("-" + self.demod) if self.demod == "enhanced" else self.name

	@property
	def mode(self) -> int:
		return int(self.variant.split("/")[0])

	@property
	def mapping(self) -> int:
		return int(self.variant.split("/")[1])

	@property
	def maker(self) -> str:
		return {"ours": "ofdm_burst", "freedv": "FreeDV", "liquid": "liquid-dsp"}[self.family]

	@property
	def label(self) -> str:
		return self.variant.upper() if self.family == "liquid" else self.variant


def ours(rate: int, mode: Mode, mapping: int, demod: str, expect: float) -> System:
	name = f"ours-{rate}-{mode.mode}-{mapping}" + ("" if demod == "reference" else "-" + demod)
	return System(name, "ours", rate, "white" if rate == 8000 else "ssb", f"{mode.mode}/{mapping}", mode.payload_bytes,
		      expect, demod)


def catalogue(modes: dict[int, Mode], expected: dict) -> list[System]:
	"""Every system; expected maps (rate, noise, mode, mapping, demod) to a
	stored 90 % point in white noise."""
	systems = [System(name, family, 8000, "white", variant, size, expect) for name, family, variant, size, expect in PEERS]
	for demod in DEMODULATORS:
		for rate in (8000, 48000):
			noise = "white" if rate == 8000 else "ssb"
			for mode in sorted(modes.values(), key=lambda m: m.mode):
				for mapping in MAPPINGS:
					expect = expected.get((rate, noise, mode.mode, mapping, demod), 3.0)
					systems.append(ours(rate, mode, mapping, demod, expect))
	return systems


def select(systems: list[System], names: str | None) -> list[System]:
	"""The systems named in a comma-separated list of names or shell patterns."""
	if not names:
		return systems
	patterns = names.split(",")
	chosen = [s for s in systems if any(fnmatchcase(s.name, p) for p in patterns)]
	unknown = [p for p in patterns if not any(fnmatchcase(s.name, p) for s in systems)]
	if unknown:
		raise SystemExit(f"harness: no system {', '.join(unknown)}; known: {' '.join(s.name for s in systems)}")
	return chosen
