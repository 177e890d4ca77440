#pragma once

#include <cstdint>

// Marsaglia's 32-bit xorshift; the payload whitening takes the low byte of
// each new state, starting from the seed below.
struct Xorshift32
{
	static constexpr uint32_t seed = 0x92D68CA2;
	uint32_t y = seed;

	constexpr uint32_t operator()()
	{
		y ^= y << 13;
		y ^= y >> 17;
		y ^= y << 5;
		return y;
	}
};
