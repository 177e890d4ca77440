import pathlib
import tempfile
import unittest

from harness import plots

# Rows as a run of the fading searches alone leaves them: no white-noise
# point, one profile's crossing still "never".
FADING_ONLY = [
	{"system": "FreeDV", "mode": "DATAC1", "rate_hz": "8000", "noise": "white", "payload_bytes": "510",
	 "air_time_s": "4.400", "payload_bps": "927", "moderate_snr50_db": "3.1", "moderate_snr90_db": "5.7",
	 "poor_snr50_db": "3.1", "poor_snr90_db": "5.0"},
	{"system": "ofdm_burst", "mode": "15/4", "rate_hz": "8000", "noise": "white", "payload_bytes": "128",
	 "air_time_s": "1.080", "payload_bps": "948", "demod": "enhanced", "moderate_snr50_db": "4.3",
	 "moderate_snr90_db": "9.7", "poor_snr50_db": "5.7", "poor_snr90_db": "never"},
]


class Drawn(unittest.TestCase):
	def test_a_run_of_the_fading_searches_alone_draws_both_figures(self):
		with tempfile.TemporaryDirectory(prefix="harness_plots.") as folder:
			white, faded = pathlib.Path(folder) / "peers.png", pathlib.Path(folder) / "peers_fading.png"
			plots.peers(FADING_ONLY, 400, white)
			plots.fading(FADING_ONLY, 400, faded)
			for path in (white, faded):
				self.assertEqual(path.read_bytes()[:8], b"\x89PNG\r\n\x1a\n", path.name)
