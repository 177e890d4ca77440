#pragma once

#include "dsp/fft_dit.hh"
#include "dsp/unit_circle.hh"

namespace DSP {

// Discrete Fourier transform of BINS points, X[k] = Σ x[n]·e^(SIGN·2πi·nk/BINS),
// out of place, natural order, unscaled (forward then backward gives BINS
// times the input). The chain of stages is fixed at build time; the twiddle
// table is built once per process, on first use, and shared read-only by
// every transform of the same length and direction.
template <int BINS, typename TYPE, int SIGN>
struct FastFourierTransform
{
	static_assert(SIGN == 1 || SIGN == -1);

	// factors()[k] = e^(SIGN·2πi·k/BINS), shared by every stage.
	static const TYPE *factors()
	{
		static const Table table;
		return table.values;
	}

	// in and out hold BINS values each and must not overlap.
	void operator()(TYPE *out, const TYPE *in) const
	{
		FFT::Dit<FFT::radix(BINS), BINS, 1, TYPE, SIGN>::dit(out, in, factors());
	}

private:
	struct Table
	{
		TYPE values[BINS];
		Table()
		{
			for (int k = 0; k < BINS; ++k) {
				float s = UnitCircle<float>::sin(k, BINS);
				values[k] = TYPE(UnitCircle<float>::cos(k, BINS), SIGN < 0 ? -s : s);
			}
		}
	};
};

}
