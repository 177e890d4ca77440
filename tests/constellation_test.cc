#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "modem/constellation.hh"
#include "modem/mls.hh"
#include "modem/soft_bits.hh"
#include "modem/xorshift.hh"

namespace {

template <typename T>
class ConstellationTest : public testing::Test
{
};

using Mappings = testing::Types<Constellation<2>, Constellation<4>, Constellation<8>>;
TYPED_TEST_SUITE(ConstellationTest, Mappings);

// A point off the unit circle, a wrong bit order or a misplaced decision boundary moves a point, its
// decision or the sign of a soft bit.
TYPED_TEST(ConstellationTest, EveryPointIsItsOwnDecisionAndItsSoftBitsGiveItsBitsBack)
{
	constexpr int bits = TypeParam::bits;
	for (int word = 0; word < 1 << bits; ++word) {
		signed char bipolar[bits];
		for (int b = 0; b < bits; ++b) bipolar[b] = word >> b & 1 ? -1 : 1;
		DSP::Complex<float> point = TypeParam::point(bipolar);
		EXPECT_NEAR(norm(point), 1, 1e-6) << word;
		DSP::Complex<float> near = point * DSP::Complex<float>(0.9f, 0.05f);
		EXPECT_EQ(TypeParam::hard(near), point) << word;
		int8_t soft[bits];
		TypeParam::soft(soft, near, 100);
		for (int b = 0; b < bits; ++b) EXPECT_EQ(soft[b] > 0, bipolar[b] > 0) << word << " bit " << b;
	}
}

// Scale and axes of the soft values, and the decision at the origin.
TEST(Constellation, SoftValuesOfTheDocumentedPoints)
{
	int8_t soft[3];
	Constellation<2>::soft(soft, {-0.25f, 0.9f}, 100);
	EXPECT_EQ(soft[0], -25);
	Constellation<4>::soft(soft, {0.5f, -0.2f}, 100);
	EXPECT_EQ(std::vector<int>(soft, soft + 2), (std::vector<int>{50, -20}));
	Constellation<8>::soft(soft, {0, 1}, 100);
	EXPECT_EQ(std::vector<int>(soft, soft + 3), (std::vector<int>{-71, 0, 100}));
	EXPECT_EQ(Constellation<8>::hard({0, 0}), DSP::Complex<float>(0.9238795f, 0.38268343f));
	EXPECT_EQ(Constellation<4>::hard({0, 0}), DSP::Complex<float>(0.70710677f, 0.70710677f));
}

// Ties go to even, out-of-range values clamp, NaN carries no information.
TEST(SoftBits, RoundToNearestEvenAndClampNaNIsAnErasure)
{
	const std::pair<float, int> cases[] = {{0.5f, 0},   {1.5f, 2},       {-2.5f, -2},   {126.6f, 127},   {127.5f, 127},
					       {1e9f, 127}, {-128.4f, -128}, {-1e9f, -128}, {INFINITY, 127}, {NAN, 0}};
	for (auto [x, q] : cases) EXPECT_EQ(quantize_soft(x), q) << x;
}

// Seed, shifts and the byte taken from each state.
TEST(Sequences, WhiteningStreamStartsAsPublished)
{
	Xorshift32 whitening;
	for (unsigned expected : {0x63u, 0x7Au, 0xA0u, 0x7Eu}) EXPECT_EQ(whitening() & 255, expected);
}

// The published chips; each register is back at its start after one period, and the scrambler's
// holds 128 minus chips, as a maximal length one does.
TEST(Sequences, PreambleAndScramblerAreMaximalLength)
{
	MLS seven(0x89), eight(0x12B);
	std::string preamble, scrambler;
	for (int i = 0; i < 127; ++i) preamble += "+-"[seven()];
	for (int i = 0; i < 255; ++i) scrambler += "+-"[eight()];
	EXPECT_EQ(preamble, "++++++-+++-++--+++-+---+-+--+--+++++--++--+-+-++---++----+--+-++++-+-+-"
			    "+-----+-++-+-+++--+---+++-------++++---+----++-+--++-++-");
	EXPECT_EQ(seven.state(), 1);
	EXPECT_EQ(scrambler.substr(0, 16), "+++++++-++-+----");
	EXPECT_EQ(std::count(scrambler.begin(), scrambler.end(), '-'), 128);
	EXPECT_EQ(eight.state(), 1);
}

}
