"""The channel every system goes through, and the seeds of its noise.

Every sender writes its bursts at LEVEL dBFS RMS; burst_channel measures SNR
against that level, as signal power against the noise power in 3 kHz, and
its Watterson profiles have a mean power gain of 1, so that under fading the
SNR is the one averaged over the fading.
"""

import zlib
from dataclasses import dataclass

# -30 dBFS keeps the noisiest points (24 kHz of noise at 48000 Hz) from
# clipping while 16-bit rounding stays 70 dB below the signal.
LEVEL = -30
# Half a second of silence on either side of a burst: a freshly built
# receiver fills its history (0.72 s) before the next preamble arrives.
# Under Watterson moderate and poor fading, bursts that start 1.6 s or more
# apart see gains correlated by at most exp(-2π²σ²τ²) = 0.04 (σ = 0.25 Hz,
# τ = 1.6 s): every burst meets a fade of its own, as with longer gaps.
SILENCE = 0.5
ECHO = "2:0.5"
SSB = "300:3000"
PROFILES = ("good", "moderate", "poor")


@dataclass(frozen=True)
class Channel:
	snr: float
	cfo: float = 0
	ppm: float = 0
	echo: str = "none"
	fading: str = "none"

	def key(self) -> str:
		return f"{self.snr:g}/{self.cfo:g}/{self.ppm:g}/{self.echo}/{self.fading}"

	def arguments(self, rate: int, noise: str, seed: int) -> list[str]:
		args = ["--rate", str(rate), "--snr", f"{self.snr:g}", "--level", str(LEVEL), "--seed", str(seed)]
		if self.cfo:
			args += ["--cfo", f"{self.cfo:g}"]
		if self.ppm:
			args += ["--ppm", f"{self.ppm:g}"]
		if self.echo != "none":
			args += ["--echo", self.echo]
		if self.fading != "none":
			args += ["--fading", self.fading]
		if noise == "ssb":
			args += ["--ssb", SSB]
		return args


def seed_of(key: str) -> int:
	"""The channel's seed for a point: the same key, the same noise and fading."""
	return zlib.crc32(key.encode())
