#pragma once

namespace DSP {

// Second-order IIR section (transposed direct form II) with real
// coefficients of type COEFF, for real or complex samples: a complex signal
// is filtered as two real ones, so an analytic signal stays analytic.
template <typename SAMPLE, typename COEFF = float>
struct Biquad
{
	// y = (b0 + b1 z⁻¹ + b2 z⁻²) / (1 + a1 z⁻¹ + a2 z⁻²) x
	COEFF b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
	SAMPLE s1 = SAMPLE(), s2 = SAMPLE();

	SAMPLE operator()(SAMPLE x)
	{
		SAMPLE y = b0 * x + s1;
		s1 = b1 * x - a1 * y + s2;
		s2 = b2 * x - a2 * y;
		return y;
	}
};

}
