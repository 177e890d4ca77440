#pragma once

namespace DSP {

// FIR taps as window times response, designed once at construction. With
// NORMALIZE the taps are divided by the magnitude of their plain float sum,
// so that the filter has unit gain at 0 Hz.
template <int TAPS, typename TYPE, bool NORMALIZE>
class Coeffs
{
	TYPE taps[TAPS];

public:
	// WINDOW and RESPONSE are functors value(i, TAPS) such as Hann and LowPass2.
	template <typename WINDOW, typename RESPONSE>
	Coeffs(WINDOW *window, RESPONSE *response)
	{
		for (int i = 0; i < TAPS; ++i) {
			TYPE w = (*window)(i, TAPS);
			TYPE h = (*response)(i, TAPS);
			taps[i] = h * w;
		}
		if constexpr (NORMALIZE) {
			TYPE sum = 0;
			for (int i = 0; i < TAPS; ++i) sum += taps[i];
			TYPE norm = sum < 0 ? -sum : sum;
			for (int i = 0; i < TAPS; ++i) taps[i] /= norm;
		}
	}

	TYPE operator[](int i) const { return taps[i]; }
	const TYPE *data() const { return taps; }
	static constexpr int size() { return TAPS; }
};

}
