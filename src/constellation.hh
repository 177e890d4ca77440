#pragma once

#include "dsp/complex.hh"

// Points of the differential data constellations, all of unit magnitude.
// bits holds BITS bipolar code bits (+1 for bit 0, -1 for bit 1) in the order
// of the receiver's soft values, each 0 bit on the positive side of its
// decision: mapping 2 puts bit 0 on Re; mapping 4 puts bits 0, 1 on Re, Im;
// mapping 8 puts bit 0 on |Re| ≥ |Im| and bits 1, 2 on the signs of Re, Im.
template <int M>
struct Constellation;

template <>
struct Constellation<2>
{
	static constexpr int bits = 1;

	static constexpr DSP::Complex<float> point(const signed char *b) { return {float(b[0]), 0}; }
};

template <>
struct Constellation<4>
{
	static constexpr int bits = 2;
	static constexpr float a = 0.70710677f;

	static constexpr DSP::Complex<float> point(const signed char *b) { return {b[0] * a, b[1] * a}; }
};

template <>
struct Constellation<8>
{
	static constexpr int bits = 3;
	static constexpr float p = 0.9238795f, q = 0.38268343f;

	static constexpr DSP::Complex<float> point(const signed char *b)
	{
		if (b[0] > 0) return {b[1] * p, b[2] * q};
		return {b[1] * q, b[2] * p};
	}
};
