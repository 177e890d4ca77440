#pragma once

#include <numbers>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include <liquid/liquid.h>

// Real audio to complex baseband around a centre of TURNS / PERIOD of the
// sample rate: the low-pass moved up to the centre runs on the real input,
// then the result is mixed down with a table of PERIOD values. On real input
// that halves the multiplications of mixing first, and the loop runs over
// outputs, so the compiler vectorises it without reordering any sum. liquid's
// own per-sample filter object costs more than the frame synchroniser it
// would feed, which would make liquid look slower than it is.
template <int TURNS, int PERIOD>
class DownConverter
{
	int taps;
	std::vector<float> re, im;  // low-pass taps times e^(iωk), reversed
	std::vector<float> history; // the last taps - 1 inputs, then the chunk
	std::vector<float> out_re, out_im;
	std::complex<float> mixer[PERIOD];
	int phase = 0;

public:
	// cutoff as a fraction of the sample rate
	DownConverter(int taps, float cutoff) : taps(taps), re(taps), im(taps), history(taps - 1)
	{
		std::vector<float> h(taps);
		liquid_firdes_kaiser(taps, cutoff, 60, 0, h.data());
		for (int k = 0; k < taps; ++k) {
			double w = 2 * std::numbers::pi * TURNS * k / PERIOD;
			re[taps - 1 - k] = h[k] * std::cos(w);
			im[taps - 1 - k] = h[k] * std::sin(w);
		}
		for (int n = 0; n < PERIOD; ++n) mixer[n] = std::polar(1.0f, float(-2 * std::numbers::pi * TURNS * n / PERIOD));
	}

	void operator()(const short *in, size_t count, std::complex<float> *out)
	{
		history.resize(taps - 1 + count);
		out_re.assign(count, 0);
		out_im.assign(count, 0);
		for (size_t i = 0; i < count; ++i) history[taps - 1 + i] = in[i] * (1.0f / 32768);
		for (int k = 0; k < taps; ++k) {
			const float *x = &history[k], hr = re[k], hi = im[k];
			for (size_t i = 0; i < count; ++i) {
				out_re[i] += hr * x[i];
				out_im[i] += hi * x[i];
			}
		}
		for (size_t i = 0; i < count; ++i) {
			out[i] = std::complex<float>(out_re[i], out_im[i]) * mixer[phase];
			phase = (phase + 1) % PERIOD;
		}
		std::copy(history.end() - (taps - 1), history.end(), history.begin());
	}
};
