#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "modem/spectrum.hh"

namespace {

// Linear in dB from -96 dB (0) to 0 dB (1) of the bin's magnitude, cut at both ends.
TEST(SpectrumLevel, SpansMinus96To0Decibels)
{
	for (auto [re, im, level] : {std::tuple{0.f, 0.f, 0.f}, {1e-6f, 0.f, 0.f}, {3.f, -4.f, 1.f}})
		EXPECT_EQ(spectrum_level({re, im}), level) << re << ", " << im;
	for (double db = -96; db <= 0; db += 0.25) {
		float magnitude = std::pow(10.0, db / 20);
		EXPECT_NEAR(spectrum_level({0, -magnitude}) * 96 - 96, db, 0.01) << db;
	}
}

// Transparent at 0 and below, opaque blue, green and red at 1/4, 1/2 and 3/4 on.
TEST(SpectrumColour, RunsFromTransparentThroughBlueGreenToRed)
{
	for (auto [level, colour] : {std::pair{0.f, 0u}, {-0.5f, 0u}, {0.125f, 0x800000b4u},
				     {0.25f, 0xff0000ffu}, {0.5f, 0xff00ff00u},
				     {0.75f, 0xffff0000u}, {1.f, 0xffff0000u}})
		EXPECT_EQ(spectrum_colour(level), colour) << level;
}

}
