#pragma once

// SIMD<TYPE, WIDTH> is the native implementation of this build's target;
// SIMD<TYPE, WIDTH, PortableISA> is always there too, for comparison.
#include "code/simd_scalar.hh"

#if defined(__SSSE3__) && defined(__SSE4_1__)
#include "code/simd_sse.hh"
#elif defined(__ARM_NEON) && defined(__aarch64__)
#include "code/simd_neon.hh"
#endif
