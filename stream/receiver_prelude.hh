#pragma once

// Every standard header the receiver's headers include, so that a file that
// puts those headers into an unnamed namespace (stream/decoders.cc) has them
// included, once, outside it. tests/prelude_test.sh keeps the list complete.
#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <type_traits>
#include <utility>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#if defined(__ARM_NEON) && defined(__aarch64__)
#include <arm_neon.h>
#endif
