#include "src/polar_kernels.hh"
#include "src/simd.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace {

template <typename ISA>
class SimdLanes : public testing::Test
{
};

using ISAs = testing::Types<PortableISA, NativeISA>;
TYPED_TEST_SUITE(SimdLanes, ISAs);

int clamp8(int x)
{
	return std::clamp(x, -128, 127);
}

int sign(int x)
{
	return (x > 0) - (x < 0);
}

// Runs check(a, b, lane results) over every pair of 8-bit values, 16 pairs per vector.
template <typename ISA, typename OP, typename REF>
void every_pair(OP op, REF ref)
{
	using VEC = SIMD<signed char, 16, ISA>;
	for (int a = -128; a < 128; ++a) {
		for (int block = -128; block < 128; block += 16) {
			signed char bs[16], rs[16];
			for (int k = 0; k < 16; ++k) bs[k] = block + k;
			op(VEC::dup(a), VEC::load(bs)).store(rs);
			for (int k = 0; k < 16; ++k) ASSERT_EQ(rs[k], ref(a, bs[k])) << "a " << a << " b " << int(bs[k]);
		}
	}
}

TYPED_TEST(SimdLanes, SaturatingAdd)
{
	every_pair<TypeParam>([](auto a, auto b) { return vqadd(a, b); }, [](int a, int b) { return clamp8(a + b); });
}

TYPED_TEST(SimdLanes, MinMax)
{
	every_pair<TypeParam>([](auto a, auto b) { return vmin(a, b); }, [](int a, int b) { return std::min(a, b); });
	every_pair<TypeParam>([](auto a, auto b) { return vmax(a, b); }, [](int a, int b) { return std::max(a, b); });
}

// Absolute value and sign transfer wrap at -128, as the hardware instructions do.
TYPED_TEST(SimdLanes, AbsAndSignTransfer)
{
	every_pair<TypeParam>([](auto a, auto) { return vabs(a); },
			      [](int a, int) { return (signed char)std::abs(a); });
	every_pair<TypeParam>([](auto a, auto b) { return vsign(a, b); },
			      [](int a, int b) { return (signed char)(a * sign(b)); });
}

TYPED_TEST(SimdLanes, PolarKernels)
{
	auto mag = [](int x) { return std::abs(std::max(x, -127)); };
	every_pair<TypeParam>([](auto a, auto b) { return CODE::polar_f(a, b); },
			      [&](int a, int b) { return sign(a) * sign(b) * std::min(mag(a), mag(b)); });
	using VEC = SIMD<signed char, 16, TypeParam>;
	for (int h : {1, -1})
		every_pair<TypeParam>([h](auto a, auto b) { return CODE::polar_g(a, b, VEC::dup(h)); },
				      [h](int a, int b) { return clamp8(b + h * std::max(a, -127)); });
}

TYPED_TEST(SimdLanes, ShuffleAppliesAndComposesLaneMaps)
{
	using VEC = SIMD<signed char, 16, TypeParam>;
	using MAP = SIMD<unsigned char, 16, TypeParam>;
	std::mt19937 rng(7);
	for (int t = 0; t < 100; ++t) {
		signed char values[16], out[16];
		unsigned char m1[16], m2[16], composed[16];
		for (int k = 0; k < 16; ++k) {
			values[k] = rng();
			m1[k] = rng() % 16;
			m2[k] = rng() % 16;
		}
		MAP a = MAP::load(m1), b = MAP::load(m2);
		vshuf(VEC::load(values), b).store(out);
		vshuf(a, b).store(composed);
		for (int k = 0; k < 16; ++k) {
			ASSERT_EQ(out[k], values[m2[k]]);
			ASSERT_EQ(composed[k], m1[m2[k]]);
		}
		// Applying a then b equals applying the composition once.
		vshuf(vshuf(VEC::load(values), a), b).store(out);
		for (int k = 0; k < 16; ++k) ASSERT_EQ(out[k], values[m1[m2[k]]]);
	}
}

}
