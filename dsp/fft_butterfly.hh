#pragma once

#include "dsp/fft_lanes.hh"

#include <bit>

namespace DSP::FFT {

// R-point DFTs in place on x[0 … R−1] with w = e^(SIGN·2πi/R), selected by
// the extent of the array. The constants are fixed floats (some one unit in
// the last place off the nearest value) so that every platform rounds alike.

// SIGN·i·z: a swap of real and imaginary parts with one negation.
template <int SIGN, typename TYPE>
inline TYPE times_i(TYPE z)
{
	if constexpr (SIGN < 0)
		return TYPE(z.im, -z.re);
	else
		return TYPE(-z.im, z.re);
}

template <int SIGN, typename TYPE>
inline void butterfly(TYPE (&x)[2])
{
	TYPE y0 = x[0] + x[1], y1 = x[0] - x[1];
	x[0] = y0;
	x[1] = y1;
}

template <int SIGN, typename TYPE>
inline void butterfly(TYPE (&x)[3])
{
	constexpr float half = std::bit_cast<float>(0xBF000000u);
	constexpr float sin3 = std::bit_cast<float>(0x3F5DB3D7u);
	TYPE s = x[1] + x[2];
	TYPE a = x[0] + half * s;
	TYPE b = times_i<SIGN>(sin3 * (x[1] - x[2]));
	x[0] = x[0] + s;
	x[1] = a + b;
	x[2] = a - b;
}

template <int SIGN, typename TYPE>
inline void butterfly(TYPE (&x)[4])
{
	TYPE s02 = x[0] + x[2], d02 = x[0] - x[2];
	TYPE s13 = x[1] + x[3], d13 = times_i<SIGN>(x[1] - x[3]);
	x[0] = s02 + s13;
	x[1] = d02 + d13;
	x[2] = s02 - s13;
	x[3] = d02 - d13;
}

template <int SIGN, typename TYPE>
inline void butterfly(TYPE (&x)[5])
{
	constexpr float cos1 = std::bit_cast<float>(0x3E9E377Au);
	constexpr float cos2 = std::bit_cast<float>(0xBF4F1BBCu);
	constexpr float sin1 = std::bit_cast<float>(0x3F737871u);
	constexpr float sin2 = std::bit_cast<float>(0x3F167919u);
	TYPE a = x[1] + x[4], b = x[2] + x[3];
	TYPE c = x[1] - x[4], d = x[2] - x[3];
	TYPE e1 = x[0] + cos1 * a + cos2 * b;
	TYPE e2 = x[0] + cos2 * a + cos1 * b;
	TYPE o1 = times_i<SIGN>(sin1 * c + sin2 * d);
	TYPE o2 = times_i<SIGN>(sin2 * c - sin1 * d);
	x[0] = x[0] + a + b;
	x[1] = e1 + o1;
	x[4] = e1 - o1;
	x[2] = e2 + o2;
	x[3] = e2 - o2;
}

template <int SIGN, typename TYPE>
inline void butterfly(TYPE (&x)[8])
{
	constexpr float rsqrt2 = std::bit_cast<float>(0x3F3504F3u);
	TYPE e[4] = {x[0], x[2], x[4], x[6]};
	TYPE o[4] = {x[1], x[3], x[5], x[7]};
	butterfly<SIGN>(e);
	butterfly<SIGN>(o);
	TYPE r1 = rsqrt2 * (o[1] + times_i<SIGN>(o[1]));
	TYPE r2 = times_i<SIGN>(o[2]);
	TYPE r3 = rsqrt2 * (times_i<SIGN>(o[3]) - o[3]);
	x[0] = e[0] + o[0];
	x[4] = e[0] - o[0];
	x[1] = e[1] + r1;
	x[5] = e[1] - r1;
	x[2] = e[2] + r2;
	x[6] = e[2] - r2;
	x[3] = e[3] + r3;
	x[7] = e[3] - r3;
}

}
