#pragma once

// The per-lane arithmetic of one polar butterfly on 8-bit soft values, for any
// SIMD vector of signed char. Soft values are positive for bit 0, negative for
// bit 1; hard bits are bipolar, +1 for bit 0 and -1 for bit 1.
namespace CODE {

// -128 must never reach a magnitude: its wrapped absolute value is -128.
template <typename VEC>
inline VEC polar_clamp(VEC a)
{
	return vmax(a, VEC::dup(-127));
}

// Soft value of the XOR of two bits (min-sum): sign(a) sign(b) min(|a|, |b|),
// 0 when either is 0; the result lies in -127 ... 127.
template <typename VEC>
inline VEC polar_f(VEC a, VEC b)
{
	VEC mag = vmin(vabs(polar_clamp(a)), vabs(polar_clamp(b)));
	return vsign(vsign(mag, a), b);
}

// Soft value of the right bit given the left bit h: b + h a, saturated to -128 ... 127.
template <typename VEC>
inline VEC polar_g(VEC a, VEC b, VEC h)
{
	return vqadd(b, vsign(polar_clamp(a), h));
}

// XOR of two bipolar hard bits is their product.
template <typename VEC>
inline VEC polar_xor(VEC a, VEC b)
{
	return vsign(a, b);
}

}
