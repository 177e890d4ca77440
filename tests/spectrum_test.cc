#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "src/decoder.hh"
#include "src/spectrum.hh"

namespace {

constexpr int width = SpectrumImage::width, height = SpectrumImage::height;

TEST(SpectrumLevel, SpansMinus96To0Decibels)
{
	EXPECT_EQ(spectrum_level({0, 0}), 0);
	EXPECT_EQ(spectrum_level({1e-6f, 0}), 0);
	EXPECT_EQ(spectrum_level({1, 0}), 1);
	EXPECT_EQ(spectrum_level({3, -4}), 1);
	for (double db = -96; db <= 0; db += 0.25) {
		float magnitude = std::pow(10.0, db / 20);
		for (DSP::Complex<float> bin : {DSP::Complex<float>(magnitude, 0), DSP::Complex<float>(0, -magnitude)})
			EXPECT_NEAR(spectrum_level(bin) * 96 - 96, db, 0.01) << db;
	}
}

TEST(SpectrumColour, RunsFromTransparentThroughBlueGreenToRed)
{
	EXPECT_EQ(spectrum_colour(0), 0u);
	EXPECT_EQ(spectrum_colour(-0.5f), 0u);
	EXPECT_EQ(spectrum_colour(0.25f), 0xff0000ffu);
	EXPECT_EQ(spectrum_colour(0.5f), 0xff00ff00u);
	EXPECT_EQ(spectrum_colour(0.75f), 0xffff0000u);
	EXPECT_EQ(spectrum_colour(1), 0xffff0000u);
	unsigned previous_alpha = 0;
	for (float v = 0; v <= 1; v += 1.f / 64) {
		unsigned alpha = spectrum_colour(v) >> 24;
		EXPECT_GE(alpha, previous_alpha);
		previous_alpha = alpha;
	}
	EXPECT_EQ(spectrum_colour(0.125f) >> 24, 128u);
}

std::vector<int> rows_in_column(const std::vector<unsigned> &image, int x)
{
	std::vector<int> rows;
	for (int y = 0; y < height; ++y)
		if (image[y * width + x]) rows.push_back(y);
	return rows;
}

TEST(SpectrumPlot, JoinsColumnsWithOneStepLines)
{
	std::vector<float> levels(width, 0);
	std::vector<unsigned> plot(width * height, 0x12345678);
	spectrum_plot(SpectrumImage(plot.data()), levels.data(), 0);
	for (int x = 0; x < width; ++x) EXPECT_EQ(rows_in_column(plot, x), std::vector<int>{127});
	EXPECT_EQ(plot[127 * width], 0xff000000u);

	// Rows 10, 14 and 10 again in three runs of columns: each step stands
	// on its own between level stretches.
	auto level = [](int row) { return 1 - row / 127.f; };
	std::fill(levels.begin(), levels.begin() + 101, level(10));
	std::fill(levels.begin() + 101, levels.begin() + 200, level(14));
	std::fill(levels.begin() + 200, levels.end(), level(10));
	spectrum_plot(SpectrumImage(plot.data()), levels.data(), 0x123456);
	EXPECT_EQ(plot[10 * width + 100], 0xff123456u);
	EXPECT_EQ(rows_in_column(plot, 99), (std::vector<int>{10}));
	EXPECT_EQ(rows_in_column(plot, 100), (std::vector<int>{10, 11, 12}));
	EXPECT_EQ(rows_in_column(plot, 101), (std::vector<int>{13, 14}));
	EXPECT_EQ(rows_in_column(plot, 199), (std::vector<int>{13, 14}));
	EXPECT_EQ(rows_in_column(plot, 200), (std::vector<int>{10, 11, 12}));
	EXPECT_EQ(rows_in_column(plot, 201), (std::vector<int>{10}));
}

template <typename T>
class DecoderSpectrum : public testing::Test
{
};

using Rates = testing::Types<Decoder<8000, 4>, Decoder<48000, 2>>;
TYPED_TEST_SUITE(DecoderSpectrum, Rates);

TYPED_TEST(DecoderSpectrum, ToneLandsInItsColumnAndRepeatedCallsAddTheSameRows)
{
	auto d = std::make_unique<TypeParam>();
	std::vector<unsigned> plot(width * height), waterfall(width * height);
	d->spectrum(plot.data(), waterfall.data(), 0xffffff);
	EXPECT_EQ(rows_in_column(plot, 0), std::vector<int>{127});
	EXPECT_TRUE(std::all_of(waterfall.begin(), waterfall.begin() + 2 * width, [](unsigned p) { return p == 0; }));

	// 1000 Hz is column 90 at 8000/720 = 48000/4320 Hz per column.
	int block = d->rate() / 50;
	std::vector<short> tone(block);
	for (int n = 0, t = 0; n < 45; ++n) {
		for (short &s : tone) s = std::lround(8000 * std::sin(2 * M_PI * 1000 * t++ / d->rate()));
		d->feed(tone.data(), block, 0);
	}
	d->spectrum(plot.data(), waterfall.data(), 0xffffff);
	int top = height, top_column = -1;
	for (int x = 0; x < width; ++x)
		if (int y = rows_in_column(plot, x).front(); y < top) top = y, top_column = x;
	EXPECT_EQ(top_column, 90);
	EXPECT_EQ(waterfall[90], 0xffff0000u);
	EXPECT_EQ(waterfall[width + 90], 0xffff0000u);
	EXPECT_LT(waterfall[45] >> 24, 255u);
	std::vector<unsigned> first(waterfall.begin(), waterfall.begin() + 2 * width);
	d->spectrum(plot.data(), waterfall.data(), 0xffffff);
	EXPECT_TRUE(std::equal(first.begin(), first.end(), waterfall.begin()));
	EXPECT_TRUE(std::equal(first.begin(), first.end(), waterfall.begin() + 2 * width));
}

}
