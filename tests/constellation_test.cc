#include <gtest/gtest.h>

#include <cmath>

#include "src/constellation.hh"
#include "src/mls.hh"
#include "src/soft_bits.hh"
#include "src/xorshift.hh"

namespace {

template <typename T>
class ConstellationTest : public testing::Test
{
};

using Mappings = testing::Types<Constellation<2>, Constellation<4>, Constellation<8>>;
TYPED_TEST_SUITE(ConstellationTest, Mappings);

TYPED_TEST(ConstellationTest, EveryPointIsItsOwnDecisionAndItsSoftBitsGiveItsBitsBack)
{
	constexpr int bits = TypeParam::bits;
	for (int word = 0; word < 1 << bits; ++word) {
		signed char bipolar[bits];
		for (int b = 0; b < bits; ++b) bipolar[b] = word >> b & 1 ? -1 : 1;
		DSP::Complex<float> point = TypeParam::point(bipolar);
		EXPECT_NEAR(norm(point), 1, 1e-6) << word;
		EXPECT_EQ(TypeParam::hard(point), point) << word;
		// Slightly off the point the decision and the signs stay.
		DSP::Complex<float> near = point * DSP::Complex<float>(0.9f, 0.05f);
		EXPECT_EQ(TypeParam::hard(near), point) << word;
		int8_t soft[bits];
		TypeParam::soft(soft, near, 100);
		for (int b = 0; b < bits; ++b) EXPECT_EQ(soft[b] > 0, bipolar[b] > 0) << word << " bit " << b;
	}
}

TEST(Constellation, SoftValuesOfTheDocumentedPoints)
{
	int8_t soft[3];
	Constellation<2>::soft(soft, {-0.25f, 0.9f}, 100);
	EXPECT_EQ(soft[0], -25);
	Constellation<4>::soft(soft, {0.5f, -0.2f}, 100);
	EXPECT_EQ(soft[0], 50);
	EXPECT_EQ(soft[1], -20);
	Constellation<8>::soft(soft, {0, 1}, 100);
	EXPECT_EQ(soft[0], -71);
	EXPECT_EQ(soft[1], 0);
	EXPECT_EQ(soft[2], 100);
	EXPECT_EQ(Constellation<8>::hard({0, 0}), DSP::Complex<float>(0.9238795f, 0.38268343f));
	EXPECT_EQ(Constellation<4>::hard({0, 0}), DSP::Complex<float>(0.70710677f, 0.70710677f));
}

TEST(SoftBits, RoundToNearestEvenAndClampNaNIsAnErasure)
{
	EXPECT_EQ(quantize_soft(0.5f), 0);
	EXPECT_EQ(quantize_soft(1.5f), 2);
	EXPECT_EQ(quantize_soft(-2.5f), -2);
	EXPECT_EQ(quantize_soft(126.6f), 127);
	EXPECT_EQ(quantize_soft(127.5f), 127);
	EXPECT_EQ(quantize_soft(1e9f), 127);
	EXPECT_EQ(quantize_soft(-128.4f), -128);
	EXPECT_EQ(quantize_soft(-1e9f), -128);
	EXPECT_EQ(quantize_soft(INFINITY), 127);
	EXPECT_EQ(quantize_soft(NAN), 0);
}

TEST(Sequences, WhiteningStreamStartsAsPublished)
{
	Xorshift32 whitening;
	for (unsigned expected : {0x63u, 0x7Au, 0xA0u, 0x7Eu}) EXPECT_EQ(whitening() & 255, expected);
}

TEST(Sequences, PreambleAndScramblerAreMaximalLength)
{
	const char *preamble = "++++++-+++-++--+++-+---+-+--+--+++++--++--+-+-++---++----+--+-++++-+-+-+-----+-++-+-+++--+---+++-------++++---+----++-+--++-++-";
	MLS seven(0x89);
	for (int i = 0; i < 127; ++i) EXPECT_EQ(seven() ? '-' : '+', preamble[i]) << i;
	EXPECT_EQ(seven.state(), 1);
	MLS eight(0x12B);
	const char *first = "+++++++-++-+----";
	int minus = 0;
	for (int i = 0; i < 255; ++i) {
		bool bit = eight();
		minus += bit;
		if (i < 16) EXPECT_EQ(bit ? '-' : '+', first[i]) << i;
	}
	EXPECT_EQ(minus, 128);
	EXPECT_EQ(eight.state(), 1);
}

}
