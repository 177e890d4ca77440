#pragma once

#include <cmath>
#include <vector>

#include "dsp/complex.hh"
#include "tools/sim/window.hh"

// Analytic signal x + i·H{x} of a real sequence, aligned with it in time. The
// Hilbert transformer is the ideal one, 2/(πk) at odd offsets k, cut to
// |k| ≤ half by a Blackman window: its transition bands at 0 Hz and at half
// the rate are about 3·rate/half wide. Samples outside x count as 0.
inline std::vector<DSP::Complex<double>> analytic(const std::vector<double> &x, int half)
{
	std::vector<double> taps(half + 1);
	for (int k = 1; k <= half; k += 2) taps[k] = 2 / (M_PI * k) * blackman(double(k) / (half + 1));
	int n = x.size();
	std::vector<DSP::Complex<double>> out(n);
	for (int i = 0; i < n; ++i) {
		double im = 0;
		for (int k = 1; k <= half; k += 2) {
			double older = i - k >= 0 ? x[i - k] : 0, newer = i + k < n ? x[i + k] : 0;
			im += taps[k] * (older - newer);
		}
		out[i] = {x[i], im};
	}
	return out;
}
