#include "code/polar_kernels.hh"
#include "code/simd.hh"

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

// Compares op with ref over every pair of 8-bit values, 16 pairs per vector.
template <typename ISA, typename OP, typename REF>
void every_pair(const char *name, OP op, REF ref)
{
	using VEC = SIMD<signed char, 16, ISA>;
	for (int a = -128; a < 128; ++a) {
		for (int block = -128; block < 128; block += 16) {
			signed char bs[16], rs[16];
			for (int k = 0; k < 16; ++k) bs[k] = block + k;
			op(VEC::dup(a), VEC::load(bs)).store(rs);
			for (int k = 0; k < 16; ++k) ASSERT_EQ(rs[k], ref(a, bs[k])) << name << " a " << a << " b " << int(bs[k]);
		}
	}
}

// Every lane operation against its scalar definition over every pair of 8-bit values. Absolute value
// and sign transfer wrap at -128, as the hardware instructions do; the polar kernels take -128 as -127.
TYPED_TEST(SimdLanes, EveryPairOfValues)
{
	using VEC = SIMD<signed char, 16, TypeParam>;
	auto clamp8 = [](int x) { return std::clamp(x, -128, 127); };
	auto sign = [](int x) { return (x > 0) - (x < 0); };
	auto mag = [](int x) { return std::abs(std::max(x, -127)); };
#define EVERY_PAIR(op, ref)                                                                                  \
	every_pair<TypeParam>(#op, [&]([[maybe_unused]] auto a, [[maybe_unused]] auto b) { return op; },      \
			      [&]([[maybe_unused]] int a, [[maybe_unused]] int b) { return ref; })
	EVERY_PAIR(vqadd(a, b), clamp8(a + b));
	EVERY_PAIR(vmin(a, b), std::min(a, b));
	EVERY_PAIR(vmax(a, b), std::max(a, b));
	EVERY_PAIR(vabs(a), (signed char)std::abs(a));
	EVERY_PAIR(vsign(a, b), (signed char)(a * sign(b)));
	EVERY_PAIR(CODE::polar_f(a, b), sign(a) * sign(b) * std::min(mag(a), mag(b)));
	EVERY_PAIR(CODE::polar_g(a, b, VEC::dup(1)), clamp8(b + std::max(a, -127)));
	EVERY_PAIR(CODE::polar_g(a, b, VEC::dup(-1)), clamp8(b - std::max(a, -127)));
#undef EVERY_PAIR
}

// A lane map applied to values takes lane m[k] into lane k; applied to another map it composes them.
TYPED_TEST(SimdLanes, ShuffleAppliesAndComposesLaneMaps)
{
	using VEC = SIMD<signed char, 16, TypeParam>;
	using MAP = SIMD<unsigned char, 16, TypeParam>;
	std::mt19937 rng(7);
	for (int t = 0; t < 100; ++t) {
		signed char values[16], out[16];
		unsigned char m1[16], m2[16], composed[16];
		for (int k = 0; k < 16; ++k) values[k] = rng(), m1[k] = rng() % 16, m2[k] = rng() % 16;
		vshuf(VEC::load(values), MAP::load(m2)).store(out);
		vshuf(MAP::load(m1), MAP::load(m2)).store(composed);
		for (int k = 0; k < 16; ++k) {
			ASSERT_EQ(out[k], values[m2[k]]);
			ASSERT_EQ(composed[k], m1[m2[k]]);
		}
	}
}

// The 16-bit lanes of the wide list decoder against their scalar
// definitions, on the native ISA and on the portable one:
// values at and around the extremes, and random ones; a lane map takes
// lane m[k] into lane k, across the halves that SSE and NEON keep in two
// registers.
TYPED_TEST(SimdLanes, SixteenBitLanesMatchTheirDefinitions)
{
	using VEC = SIMD<int16_t, 16, TypeParam>;
	using MAP = SIMD<unsigned char, 16, TypeParam>;
	auto clamp16 = [](int x) { return int16_t(std::clamp(x, -32768, 32767)); };
	auto sign = [](int x) { return (x > 0) - (x < 0); };
	auto mag = [](int x) { return std::abs(std::max(x, -32767)); };
	auto wrap = [](int x) { return int16_t(uint16_t(x)); };
	const int edges[] = {-32768, -32767, -32766, -129, -128, -1, 0, 1, 127, 128, 32766, 32767};
	std::mt19937 rng(9);
	for (int t = 0; t < 2000; ++t) {
		int16_t a[16], b[16], out[16];
		unsigned char m[16];
		for (int k = 0; k < 16; ++k) {
			a[k] = t < 12 ? edges[t] : int16_t(rng());
			b[k] = k < 12 && t % 2 ? edges[k] : int16_t(rng());
			m[k] = rng() % 16;
		}
		VEC x = VEC::load(a), y = VEC::load(b);
		auto check = [&](const char *name, VEC r, auto ref) {
			r.store(out);
			for (int k = 0; k < 16; ++k)
				ASSERT_EQ(out[k], ref(a[k], b[k])) << name << " a " << a[k] << " b " << b[k];
		};
		check("vqadd", vqadd(x, y), [&](int p, int q) { return clamp16(p + q); });
		check("vmin", vmin(x, y), [](int p, int q) { return int16_t(std::min(p, q)); });
		check("vmax", vmax(x, y), [](int p, int q) { return int16_t(std::max(p, q)); });
		check("vabs", vabs(x), [&](int p, int) { return wrap(std::abs(p)); });
		check("vsign", vsign(x, y), [&](int p, int q) { return wrap(p * sign(q)); });
		check("polar_f", CODE::polar_f(x, y), [&](int p, int q) { return int16_t(sign(p) * sign(q) * std::min(mag(p), mag(q))); });
		check("polar_g", CODE::polar_g(x, y, VEC::dup(-1)), [&](int p, int q) { return clamp16(q - std::max(p, -32767)); });
		vshuf(x, MAP::load(m)).store(out);
		for (int k = 0; k < 16; ++k) ASSERT_EQ(out[k], a[m[k]]) << "lane " << k;
	}
}

}

// The selected sum wraps modulo 2^16 on every ISA: rows of 256 values of
// ±127 selected all at once overflow a 16-bit sum.
TYPED_TEST(SimdLanes, SelectSumAddsFlaggedValuesModulo65536)
{
	std::mt19937 rng(5);
	alignas(16) signed char flags[512], values[512];
	for (int round = 0; round < 200; ++round) {
		bool saturating = round % 4 == 0;
		for (int j = 0; j < 512; ++j) {
			flags[j] = saturating ? 1 : rng() & 1;
			values[j] = saturating ? (round & 8 ? -128 : 127) : (signed char)rng();
		}
		int count = 16 * (1 + rng() % 32);
		int exact = 0;
		for (int j = 0; j < count; ++j) exact += flags[j] * values[j];
		EXPECT_EQ(select_sum<TypeParam>(flags, values, count), int16_t(exact)) << round;
	}
}
