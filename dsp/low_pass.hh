#pragma once

#include "dsp/unit_circle.hh"

namespace DSP {

template <typename TYPE>
struct LowPass2;

// Ideal low-pass impulse response 2f·sinc(2f·t) with cutoff f = numerator /
// denominator of the sample rate, evaluated at t = i − (taps − 1)/2 for an
// even number of taps (t never 0). The angle is reduced exactly in integers,
// so any cutoff works.
template <>
struct LowPass2<float>
{
	int numerator, denominator;
	float scale;

	LowPass2(int numerator, int denominator)
		: numerator(numerator), denominator(denominator),
		  scale(float(2 * numerator) / float(denominator))
	{
	}

	float operator()(int i, int taps) const
	{
		int g = 2 * i - (taps - 1);
		float u = UnitCircle<float>::sin(numerator * g % (2 * denominator), 2 * denominator);
		return (u * scale) / (scale * 1.5707964f * float(g));
	}
};

}
