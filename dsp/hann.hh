#pragma once

#include "dsp/unit_circle.hh"

namespace DSP {

template <typename TYPE>
struct Hann;

// Hann window value at tap i of a taps-long window, 0 at both ends.
template <>
struct Hann<float>
{
	float operator()(int i, int taps) const
	{
		float c = UnitCircle<float>::cos(i, taps - 1);
		return (1.f - c) * 0.5f;
	}
};

}
