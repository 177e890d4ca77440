#pragma once

// SIMD<TYPE, WIDTH> is the native implementation of this build's target;
// SIMD<TYPE, WIDTH, PortableISA> is always there too, for comparison.
// WideISA is the one that holds 16 lanes of int16_t: native where the
// target has them, portable elsewhere.
#include "code/simd_scalar.hh"

#if defined(__SSSE3__) && defined(__SSE4_1__)
#include "code/simd_sse.hh"
using WideISA = SSE41ISA;
#elif defined(__ARM_NEON) && defined(__aarch64__)
#include "code/simd_neon.hh"
using WideISA = PortableISA;
#else
using WideISA = PortableISA;
#endif
