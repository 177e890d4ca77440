#include <numbers>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

#include "modem/decoder.hh"

namespace {

template <typename T>
class DecoderTest : public testing::Test
{
};

using Variants = testing::Types<Decoder<8000, 2>, Decoder<8000, 4>, Decoder<8000, 8>, Decoder<48000, 2>,
				Decoder<48000, 4>, Decoder<48000, 8>>;
TYPED_TEST_SUITE(DecoderTest, Variants);

// A fresh receiver fed the whole signal in blocks of 20 ms, as the driver does.
template <typename D>
std::unique_ptr<D> fed(const std::vector<short> &samples, int channel)
{
	auto decoder = std::make_unique<D>();
	int frame = channel >= 1 && channel <= 4 ? 2 : 1, block = decoder->rate() / 50;
	for (size_t i = 0; i + block * frame <= samples.size(); i += block * frame)
		decoder->feed(samples.data() + i, block, channel);
	return decoder;
}

template <typename D>
std::complex<float> newest(const D &decoder, int age = 0)
{
	auto s = decoder.history()[D::history_length - 1 - age];
	return {s.re, s.im};
}

// A period completes on every ninth 20 ms block; silence leaves nothing to report: no payload (the
// buffer untouched), mode 0, no offset, no call sign.
TYPED_TEST(DecoderTest, SilenceCompletesPeriodsAndReportsNothing)
{
	auto d = std::make_unique<TypeParam>();
	EXPECT_EQ(d->process(), STATUS_OKAY);
	std::vector<short> block(d->rate() / 50);
	for (int period = 0; period < 3; ++period) {
		for (int i = 0; i < 8; ++i) EXPECT_FALSE(d->feed(block.data(), block.size(), 0));
		EXPECT_TRUE(d->feed(block.data(), block.size(), 0));
		EXPECT_EQ(d->process(), STATUS_OKAY);
	}
	unsigned char payload[170], call[192] = {};
	std::fill(payload, payload + 170, 0x5A);
	EXPECT_EQ(d->fetch(payload), -1);
	EXPECT_EQ(std::count(payload, payload + 170, 0x5A), 170);
	float cfo = -1;
	int mode = -1;
	d->staged(&cfo, &mode, call);
	EXPECT_TRUE(cfo == 0 && mode == 0);
	EXPECT_STREQ(reinterpret_cast<char *>(call), "         ");
}

// A block holds at most extended_length frames, stereo ones included.
TYPED_TEST(DecoderTest, BlockSizeIsLimitedToTheExtendedLength)
{
	auto d = std::make_unique<TypeParam>();
	std::vector<short> block(2 * TypeParam::extended_length + 2);
	EXPECT_TRUE(d->feed(block.data(), TypeParam::extended_length, 1));
	EXPECT_DEATH(d->feed(block.data(), TypeParam::extended_length + 1, 0), "sample_count <= extended_length");
}

// The DC blocker works on every real selection, the unknown one included, within 40 ms: its time
// constant is the Hilbert filter's length.
TYPED_TEST(DecoderTest, ConstantLevelDecaysOnEveryRealSelection)
{
	std::vector<short> dc(TypeParam::symbol_length * 5 / 8, 12000); // 100 ms of mono, 40 of stereo blocks
	for (int channel : {0, 1, 2, 3, 9})
		EXPECT_LT(std::abs(newest(*fed<TypeParam>(dc, channel))), 1e-4) << channel;
}

// The analytic signal of a quarter-rate sine turns by +90° (not −90°) per sample.
TYPED_TEST(DecoderTest, QuarterRateSineTurnsByPlusNinetyDegrees)
{
	std::vector<short> sine(TypeParam::symbol_length * 25 / 4);
	for (size_t n = 0; n < sine.size(); ++n) sine[n] = std::lround(16000 * std::sin(std::numbers::pi / 2 * n + 0.3));
	auto d = fed<TypeParam>(sine, 0);
	for (int age = 0; age < 100; ++age) {
		std::complex<float> now = newest(*d, age), before = newest(*d, age + 1);
		EXPECT_NEAR(std::abs(now), 16000.f / 32768, 1e-3);
		EXPECT_NEAR(std::arg(now / before), std::numbers::pi / 2, 1e-3);
	}
}

// Channels 1, 2, 3 take left, right, mean of a frame; 5 and −1 take mono; 4 takes the frame as an I/Q
// pair, scaled only, bypassing the DC blocker and the Hilbert filter, which then still hold silence.
TYPED_TEST(DecoderTest, ChannelSelectionsPickTheirSamples)
{
	constexpr int E = TypeParam::extended_length;
	std::mt19937 rng(2);
	std::vector<short> left(2 * E), stereo, swapped, both;
	for (short &s : left) s = rng() >> 20;
	for (short s : left) {
		stereo.insert(stereo.end(), {s, short(rng())});
		swapped.insert(swapped.end(), {short(rng()), s});
		both.insert(both.end(), {s, s});
	}
	auto history = [](const std::vector<short> &samples, int channel) {
		auto d = fed<TypeParam>(samples, channel);
		return std::vector<DSP::Complex<float>>(d->history(), d->history() + TypeParam::history_length);
	};
	auto mono = history(left, 0);
	auto selections = {std::pair{&stereo, 1}, {&swapped, 2}, {&both, 3}, {&left, 5}, {&left, -1}};
	for (auto [samples, channel] : selections) EXPECT_EQ(history(*samples, channel), mono) << channel;
	auto d = fed<TypeParam>(stereo, 4);
	for (int i = 0; i < 2 * E; ++i) {
		std::complex<float> pair(stereo[2 * i], stereo[2 * i + 1]);
		ASSERT_EQ(newest(*d, 2 * E - 1 - i), pair / 32768.f) << i;
	}
	std::vector<short> zeros(E);
	d->feed(zeros.data(), E, 0);
	EXPECT_EQ(newest(*d), std::complex<float>(0, 0));
}

}
