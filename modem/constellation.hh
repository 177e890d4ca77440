#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/complex.hh"
#include "modem/soft_bits.hh"

// Points of the differential data constellations, all of unit magnitude.
// point() takes `bits` bipolar code bits (+1 for bit 0, -1 for bit 1) in the
// order of the receiver's soft values, each 0 bit on the positive side of its
// decision: mapping 2 puts bit 0 on Re; mapping 4 puts bits 0, 1 on Re, Im;
// mapping 8 puts bit 0 on |Re| ≥ |Im| and bits 1, 2 on the signs of Re, Im.
// hard() is the nearest point; soft() writes the soft values of a received
// point at the given scale; factor turns a symbol's signal-to-noise ratio
// into that scale.
template <int M>
struct Constellation;

template <>
struct Constellation<2>
{
	static constexpr int bits = 1;

	static constexpr float factor = 2;

	static constexpr DSP::Complex<float> point(const signed char *b) { return {float(b[0]), 0}; }

	static DSP::Complex<float> hard(DSP::Complex<float> z) { return {z.re < 0 ? -1.f : 1.f, 0}; }

	static void soft(int8_t *out, DSP::Complex<float> z, float scale) { out[0] = quantize_soft(scale * z.re); }
};

template <>
struct Constellation<4>
{
	static constexpr int bits = 2;
	static constexpr float a = 0.70710677f;

	static constexpr float factor = 1.4142135f;

	static constexpr DSP::Complex<float> point(const signed char *b) { return {b[0] * a, b[1] * a}; }

	static DSP::Complex<float> hard(DSP::Complex<float> z) { return {z.re < 0 ? -a : a, z.im < 0 ? -a : a}; }

	static void soft(int8_t *out, DSP::Complex<float> z, float scale)
	{
		out[0] = quantize_soft(scale * z.re);
		out[1] = quantize_soft(scale * z.im);
	}
};

template <>
struct Constellation<8>
{
	static constexpr int bits = 3;
	static constexpr float p = 0.9238795f, q = 0.38268343f, a = 0.70710677f;
	static constexpr float factor = 0.76536685f; // 2 sin(pi/8)

	static constexpr DSP::Complex<float> point(const signed char *b)
	{
		if (b[0] > 0) return {b[1] * p, b[2] * q};
		return {b[1] * q, b[2] * p};
	}

	static DSP::Complex<float> hard(DSP::Complex<float> z)
	{
		float sre = z.re < 0 ? -1 : 1, sim = z.im < 0 ? -1 : 1;
		if (std::abs(z.re) >= std::abs(z.im)) return {sre * p, sim * q};
		return {sre * q, sim * p};
	}

	static void soft(int8_t *out, DSP::Complex<float> z, float scale)
	{
		out[0] = quantize_soft(scale * ((std::abs(z.re) - std::abs(z.im)) * a));
		out[1] = quantize_soft(scale * z.re);
		out[2] = quantize_soft(scale * z.im);
	}
};
