#pragma once

#include <cmath>

#include "dsp/complex.hh"
#include "src/soft_bits.hh"

// Differential constellations of the data symbols. hard() is the nearest
// point; soft() writes BITS soft values per carrier, positive for the side of
// the decision that stands for bit 0; factor turns the symbol's
// signal-to-noise ratio into the scale of the soft values.
template <int M>
struct Demapper;

template <>
struct Demapper<2>
{
	static constexpr int bits = 1;
	static constexpr float factor = 2;

	static DSP::Complex<float> hard(DSP::Complex<float> z) { return {z.re < 0 ? -1.f : 1.f, 0}; }

	static void soft(int8_t *out, DSP::Complex<float> z, float scale) { out[0] = quantize_soft(scale * z.re); }
};

template <>
struct Demapper<4>
{
	static constexpr int bits = 2;
	static constexpr float factor = 1.4142135f;
	static constexpr float a = 0.70710677f;

	static DSP::Complex<float> hard(DSP::Complex<float> z) { return {z.re < 0 ? -a : a, z.im < 0 ? -a : a}; }

	static void soft(int8_t *out, DSP::Complex<float> z, float scale)
	{
		out[0] = quantize_soft(scale * z.re);
		out[1] = quantize_soft(scale * z.im);
	}
};

template <>
struct Demapper<8>
{
	static constexpr int bits = 3;
	static constexpr float factor = 0.76536685f;
	static constexpr float p = 0.9238795f, q = 0.38268343f, a = 0.70710677f;

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
