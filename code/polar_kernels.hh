#pragma once

#include <limits>

// The per-lane arithmetic of one polar butterfly on 8- or 16-bit soft
// values, for any SIMD vector of signed char or int16_t. Soft values are
// positive for bit 0, negative for bit 1; hard bits are bipolar, +1 for
// bit 0 and -1 for bit 1.
namespace CODE {

// The type's minimum must never reach a magnitude: its wrapped absolute
// value is itself.
template <typename VEC>
inline VEC polar_clamp(VEC a)
{
	return vmax(a, VEC::dup(-std::numeric_limits<typename VEC::value_type>::max()));
}

// Soft value of the XOR of two bits (min-sum): sign(a) sign(b) min(|a|, |b|),
// 0 when either is 0; the result lies within the type's maximum either way.
template <typename VEC>
inline VEC polar_f(VEC a, VEC b)
{
	VEC mag = vmin(vabs(polar_clamp(a)), vabs(polar_clamp(b)));
	return vsign(vsign(mag, a), b);
}

// Soft value of the right bit given the left bit h: b + h a, saturated to the type's range.
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
