#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Soft bit from a real value: round to nearest (ties to even), clamp to the
// range of T, 8 bits unless asked. A NaN carries no information and becomes
// an erasure.
template <typename T = int8_t>
inline T quantize_soft(float x)
{
	using limits = std::numeric_limits<T>;
	x = std::nearbyint(x);
	if (x < float(limits::min())) return limits::min();
	if (x > float(limits::max())) return limits::max();
	return x == x ? T(x) : T(0);
}
