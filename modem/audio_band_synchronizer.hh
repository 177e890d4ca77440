#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/biquad.hh"
#include "dsp/coeffs.hh"
#include "dsp/complex.hh"
#include "dsp/inverse_chebyshev.hh"
#include "dsp/kaiser.hh"
#include "dsp/low_pass.hh"
#include "modem/air_interface.hh"
#include "modem/schmidl_cox.hh"
#include "modem/sync_sequence.hh"

// A second preamble search, on the audio band alone: 450 Hz to 3.5 kHz of
// the analytic signal, taken to 8000 samples per second. The synchronizer
// judges a burst against the power of everything it receives, so mains hum
// (a steady tone looks like an endless repetition) blinds it, and at 48000
// Hz white noise over the whole band drowns a burst that 8000 Hz hears.
// Here, tones up to 320 Hz are 50 dB down and the noise is that of 4 kHz.
// Bursts reaching below 450 Hz or above 3.5 kHz are left to the whole-band
// search.
template <int RATE>
class AudioBandSynchronizer
{
	typedef DSP::Complex<float> cmplx;
	static_assert(RATE % 8000 == 0);

public:
	static constexpr int factor = RATE / 8000; // input samples per sample here
	static constexpr int symbol_length = Air::symbol_length(8000), guard_length = Air::guard_length(8000);
	static constexpr int extended_length = symbol_length + guard_length;
	static constexpr int history_length = 4 * extended_length;
	static constexpr int input_history = factor * history_length;

	// Results of the latest detection, as the whole-band synchronizer gives
	// them: symbol_pos an offset into the input view of the detecting call,
	// cfo_rad in radians per input sample.
	int symbol_pos = 0;
	float cfo_rad = 0;

	AudioBandSynchronizer() : correlator(sync_sequence<symbol_length / 2>().data())
	{
		DSP::inverse_chebyshev_high_pass<sections>(high_pass, 320, 8000, 50);
	}

	// view: the newest input_history analytic input samples, oldest first,
	// moved on by one sample since the last call. True on the call that
	// completes a detection.
	bool operator()(const cmplx *view)
	{
		if (++phase < factor) return false;
		phase = 0;
		cmplx x = decimate(view + input_history - taps);
		for (auto &section : high_pass) x = section(x);
		ring[pos0] = ring[pos1] = x;
		if (++pos0 == 2 * history_length) pos0 = 0;
		if (++pos1 == 2 * history_length) pos1 = 0;
		if (!correlator(history())) return false;
		// The newest sample here is the input's newest, late by the low-pass
		// and the high-pass (a few samples in the band where bursts are found).
		symbol_pos = input_history - 1 - delay - factor * (history_length - 1 - correlator.symbol_pos);
		cfo_rad = correlator.cfo_rad / float(factor);
		return true;
	}

	// The synchronizer's sums rebuilt as by a new receiver (see SchmidlCox).
	void realign() { correlator.realign(history()); }

private:
	static constexpr int sections = 4;
	// Low-pass before taking every sixth sample at 48000 Hz: half way down at
	// 4 kHz, 60 dB down from 4.5 kHz on, whose images would fall into the
	// band from below.
	static constexpr int taps = factor == 1 ? 1 : 192;
	static constexpr int delay = (taps - 1) / 2 + 2 * factor;

	// The taps twice over, one for each part of a complex sample, so that
	// the filter runs over the samples' floats as they lie in memory.
	struct LowPass
	{
		float h[2 * taps];
		LowPass()
		{
			if constexpr (taps > 1) {
				DSP::Kaiser<float> window;
				DSP::LowPass2<float> response(1, 2 * factor);
				DSP::Coeffs<taps, float, true> c(&window, &response);
				for (int i = 0; i < taps; ++i) h[2 * i] = h[2 * i + 1] = c[i];
			}
		}
	};

	static const float *low_pass()
	{
		static const LowPass filter;
		return filter.h;
	}

	static cmplx decimate(const cmplx *x)
	{
		if constexpr (taps == 1) {
			return *x;
		} else {
			// Two vectors of (re, im, re, im) sums hide the latency of each.
			typedef float Vector __attribute__((vector_size(16)));
			static_assert(2 * taps % 8 == 0 && sizeof(cmplx) == 2 * sizeof(float));
			const float *h = low_pass(), *f = &x->re;
			Vector even = {}, odd = {};
			for (int i = 0; i < 2 * taps; i += 8) {
				Vector a, b, c, d;
				std::memcpy(&a, h + i, sizeof a);
				std::memcpy(&b, f + i, sizeof b);
				std::memcpy(&c, h + i + 4, sizeof c);
				std::memcpy(&d, f + i + 4, sizeof d);
				even += a * b;
				odd += c * d;
			}
			Vector sum = even + odd;
			return {sum[0] + sum[2], sum[1] + sum[3]};
		}
	}

	const cmplx *history() const { return ring + std::min(pos0, pos1); }

	// The metric's thresholds are lower than the whole-band search's. In
	// white noise here the metric stays below 0.04 of its peak (pink noise
	// at -20 dBFS: below 0.1), while a synchronisation symbol under a fade
	// reaches 0.1 to 0.19 where the whole-band thresholds miss it; the
	// correlation with the known pattern still decides.
	SchmidlCox<float, cmplx, extended_length, symbol_length / 2, guard_length, 12, 10> correlator;
	DSP::Biquad<cmplx> high_pass[sections];
	cmplx ring[2 * history_length] = {};
	int pos0 = 0, pos1 = history_length, phase = 0;
};
