#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

#include "src/decoder.hh"

namespace {

template <typename T>
class DecoderTest : public testing::Test
{
};

using Variants = testing::Types<Decoder<8000, 2>, Decoder<8000, 4>, Decoder<8000, 8>, Decoder<48000, 2>,
				Decoder<48000, 4>, Decoder<48000, 8>>;
TYPED_TEST_SUITE(DecoderTest, Variants);

// Feeds the whole signal in blocks of 20 ms, as the driver does.
template <typename D>
int feed_all(D &decoder, const std::vector<short> &samples, int channel)
{
	int frame = channel >= 1 && channel <= 4 ? 2 : 1, block = decoder.rate() / 50, periods = 0;
	for (size_t i = 0; i + block * frame <= samples.size(); i += block * frame)
		periods += decoder.feed(samples.data() + i, block, channel);
	return periods;
}

template <typename D>
std::complex<float> newest(const D &decoder, int age = 0)
{
	auto s = decoder.history()[D::history_length - 1 - age];
	return {s.re, s.im};
}

TYPED_TEST(DecoderTest, CompletesAPeriodOnEveryNinthBlock)
{
	auto d = std::make_unique<TypeParam>();
	EXPECT_EQ(d->rate(), TypeParam::symbol_length * 25 / 4);
	std::vector<short> block(d->rate() / 50);
	for (int period = 0; period < 3; ++period) {
		for (int i = 0; i < 8; ++i) EXPECT_FALSE(d->feed(block.data(), block.size(), 0));
		EXPECT_TRUE(d->feed(block.data(), block.size(), 0));
		EXPECT_EQ(d->process(), STATUS_OKAY);
	}
}

TYPED_TEST(DecoderTest, BlockSizeIsLimitedToTheExtendedLength)
{
	auto d = std::make_unique<TypeParam>();
	std::vector<short> block(2 * TypeParam::extended_length + 2);
	EXPECT_TRUE(d->feed(block.data(), TypeParam::extended_length, 1));
	EXPECT_DEATH(d->feed(block.data(), TypeParam::extended_length + 1, 0), "sample_count <= extended_length");
}

TYPED_TEST(DecoderTest, InPhaseQuadraturePairsPassStraightThrough)
{
	auto d = std::make_unique<TypeParam>();
	short noise[2000];
	std::mt19937 rng(1);
	for (short &s : noise) s = rng();
	d->feed(noise, 1000, 4);
	short frame[] = {16384, -16384};
	d->feed(frame, 1, 4);
	EXPECT_EQ(newest(*d), std::complex<float>(0.5f, -0.5f));
	// The DC blocker and Hilbert filter never saw the pairs: silence stays silent.
	std::vector<short> zeros(TypeParam::extended_length);
	d->feed(zeros.data(), zeros.size(), 0);
	EXPECT_EQ(newest(*d), std::complex<float>(0, 0));
}

TYPED_TEST(DecoderTest, ConstantLevelDecaysOnEveryRealSelection)
{
	for (int channel : {0, 1, 2, 3, 9}) {
		auto d = std::make_unique<TypeParam>();
		std::vector<short> dc(2 * d->rate(), 12000);
		feed_all(*d, dc, channel);
		EXPECT_LT(std::abs(newest(*d)), 1e-4) << channel;
	}
}

TYPED_TEST(DecoderTest, QuarterRateSineTurnsByPlusNinetyDegrees)
{
	auto d = std::make_unique<TypeParam>();
	std::vector<short> sine(d->rate());
	for (size_t n = 0; n < sine.size(); ++n) sine[n] = std::lround(16000 * std::sin(M_PI / 2 * n + 0.3));
	feed_all(*d, sine, 0);
	for (int age = 0; age < 100; ++age) {
		std::complex<float> now = newest(*d, age), before = newest(*d, age + 1);
		EXPECT_NEAR(std::abs(now), 16000.f / 32768, 1e-3);
		EXPECT_NEAR(std::arg(now / before), M_PI / 2, 1e-3);
	}
}

TYPED_TEST(DecoderTest, ChannelSelectionsPickTheirSamples)
{
	std::mt19937 rng(2);
	std::vector<short> left(TypeParam::extended_length * 2), stereo, swapped, both;
	for (short &s : left) s = rng() >> 20;
	for (short s : left) {
		stereo.insert(stereo.end(), {s, short(rng())});
		swapped.insert(swapped.end(), {short(rng()), s});
		both.insert(both.end(), {s, s});
	}
	auto history = [](const std::vector<short> &samples, int channel) {
		auto d = std::make_unique<TypeParam>();
		feed_all(*d, samples, channel);
		return std::vector<DSP::Complex<float>>(d->history(), d->history() + TypeParam::history_length);
	};
	auto mono = history(left, 0);
	EXPECT_EQ(history(stereo, 1), mono);
	EXPECT_EQ(history(swapped, 2), mono);
	EXPECT_EQ(history(both, 3), mono);
	EXPECT_EQ(history(left, 5), mono);
	EXPECT_EQ(history(left, -1), mono);
}

TYPED_TEST(DecoderTest, FreshReceiverHasNothingToReport)
{
	auto d = std::make_unique<TypeParam>();
	EXPECT_EQ(d->process(), STATUS_OKAY);
	unsigned char payload[170];
	for (int i = 0; i < 170; ++i) payload[i] = i;
	EXPECT_EQ(d->fetch(payload), -1);
	for (int i = 0; i < 170; ++i) ASSERT_EQ(payload[i], i);
	float cfo = -1;
	int mode = -1;
	unsigned char call[192] = {};
	d->staged(&cfo, &mode, call);
	EXPECT_EQ(cfo, 0);
	EXPECT_EQ(mode, 0);
	EXPECT_STREQ(reinterpret_cast<char *>(call), "         ");
}

}
