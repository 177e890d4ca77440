#pragma once

#include <cstdint>

// Instruction sets a SIMD vector can be built on. The portable one is plain
// C++ and exists on every target; the native one is what this build's target
// offers and is the default.
struct PortableISA
{
};
struct SSE41ISA
{
};
struct NEONISA
{
};

#if defined(__SSSE3__) && defined(__SSE4_1__)
using NativeISA = SSE41ISA;
#elif defined(__ARM_NEON) && defined(__aarch64__)
using NativeISA = NEONISA;
#else
using NativeISA = PortableISA;
#endif

// WIDTH lanes of TYPE, lane k readable as lane(k). Every specialisation
// offers the same free functions with the same results, lane for lane, so a
// decoder built on one ISA decides exactly as on another.
template <typename TYPE, int WIDTH, typename ISA = NativeISA>
struct SIMD;

// The sum, modulo 2^16, of the values whose flag is 1, over count entries
// (a multiple of 16, both arrays 16-byte aligned); flags are 0 or 1. The
// native ISA may do this in vectors; every ISA gives the same result.
template <typename ISA = NativeISA>
inline int16_t select_sum(const signed char *flags, const signed char *values, int count)
{
	int16_t sum = 0;
	for (int j = 0; j < count; ++j) sum += (signed char)(values[j] & -flags[j]);
	return sum;
}
