#pragma once

// SIMD<TYPE, WIDTH> is the native implementation of this build's target;
// SIMD<TYPE, WIDTH, PortableISA> is always there too, for comparison.
#include "src/simd_scalar.hh"

#if defined(__SSSE3__) && defined(__SSE4_1__)
#include "src/simd_sse.hh"
#elif defined(__ARM_NEON) && defined(__aarch64__)
#include "src/simd_neon.hh"
#endif
