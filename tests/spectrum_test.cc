#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "modem/decoder.hh"
#include "modem/spectrum.hh"

namespace {

constexpr int width = SpectrumImage::width, height = SpectrumImage::height;

// Linear in dB from -96 dB (0) to 0 dB (1) of the bin's magnitude, cut at both ends.
TEST(SpectrumLevel, SpansMinus96To0Decibels)
{
	for (auto [re, im, level] :
	     {std::tuple{0.f, 0.f, 0.f}, {1e-6f, 0.f, 0.f}, {1.f, 0.f, 1.f}, {3.f, -4.f, 1.f}})
		EXPECT_EQ(spectrum_level({re, im}), level) << re << ", " << im;
	for (double db = -96; db <= 0; db += 0.25) {
		float magnitude = std::pow(10.0, db / 20);
		EXPECT_NEAR(spectrum_level({magnitude, 0}) * 96 - 96, db, 0.01) << db;
		EXPECT_NEAR(spectrum_level({0, -magnitude}) * 96 - 96, db, 0.01) << db;
	}
}

// Transparent at 0 and below, opaque blue, green and red at 1/4, 1/2 and 3/4 on, and growing alpha.
TEST(SpectrumColour, RunsFromTransparentThroughBlueGreenToRed)
{
	for (auto [level, colour] : {std::pair{0.f, 0u},
	                             {-0.5f, 0u},
	                             {0.25f, 0xff0000ffu},
	                             {0.5f, 0xff00ff00u},
	                             {0.75f, 0xffff0000u},
	                             {1.f, 0xffff0000u}})
		EXPECT_EQ(spectrum_colour(level), colour) << level;
	EXPECT_EQ(spectrum_colour(0.125f) >> 24, 128u);
	for (float v = 1.f / 64; v <= 1; v += 1.f / 64)
		EXPECT_GE(spectrum_colour(v) >> 24, spectrum_colour(v - 1.f / 64) >> 24) << v;
}

std::vector<int> rows_in_column(const std::vector<unsigned> &image, int x)
{
	std::vector<int> rows;
	for (int y = 0; y < height; ++y)
		if (image[y * width + x]) rows.push_back(y);
	return rows;
}

// A flat spectrum is one opaque line in the bottom row; a step between two levels is joined by a vertical run
// that stands on its own between the level stretches.
TEST(SpectrumPlot, JoinsColumnsWithOneStepLines)
{
	std::vector<float> levels(width, 0);
	std::vector<unsigned> plot(width * height, 0x12345678);
	spectrum_plot(SpectrumImage(plot.data()), levels.data(), 0);
	for (int x = 0; x < width; ++x) EXPECT_EQ(rows_in_column(plot, x), std::vector<int>{127});
	EXPECT_EQ(plot[127 * width], 0xff000000u);
	// Rows 10, 14 and 10 again in three runs of columns.
	auto level = [](int row) { return 1 - row / 127.f; };
	std::fill(levels.begin(), levels.end(), level(10));
	std::fill(levels.begin() + 101, levels.begin() + 200, level(14));
	spectrum_plot(SpectrumImage(plot.data()), levels.data(), 0x123456);
	EXPECT_EQ(plot[10 * width + 100], 0xff123456u);
	std::vector<std::vector<int>> rows = {{10}, {10, 11, 12}, {13, 14}, {13, 14}, {10, 11, 12}, {10}};
	for (int i = 0; int x : {99, 100, 101, 199, 200, 201})
		EXPECT_EQ(rows_in_column(plot, x), rows[i++]) << x;
}

template <typename T> class DecoderSpectrum : public testing::Test
{
};

using Rates = testing::Types<Decoder<8000, 4>, Decoder<48000, 2>>;
TYPED_TEST_SUITE(DecoderSpectrum, Rates);

// Before any sound: a flat plot and two transparent rows. A 1000 Hz tone peaks in column 90 (8000/720 =
// 48000/4320 Hz per column) and colours it in both new rows; every call adds the same two rows again.
TYPED_TEST(DecoderSpectrum, ToneLandsInItsColumnAndRepeatedCallsAddTheSameRows)
{
	auto d = std::make_unique<TypeParam>();
	std::vector<unsigned> plot(width * height), waterfall(width * height);
	d->spectrum(plot.data(), waterfall.data(), 0xffffff);
	EXPECT_EQ(rows_in_column(plot, 0), std::vector<int>{127});
	EXPECT_TRUE(
	    std::all_of(waterfall.begin(), waterfall.begin() + 2 * width, [](unsigned p) { return p == 0; }));
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
