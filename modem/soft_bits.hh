#pragma once

#include <cmath>
#include <cstdint>

// Soft bit from a real value: round to nearest (ties to even), clamp to the
// 8-bit range. A NaN carries no information and becomes an erasure.
inline int8_t quantize_soft(float x)
{
	x = std::nearbyint(x);
	if (x < -128) return -128;
	if (x > 127) return 127;
	return x == x ? int8_t(x) : 0;
}
