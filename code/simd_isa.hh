#pragma once

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
