#include "dsp/theil_sen.hh"
#include "modem/xorshift.hh"
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using Estimator = DSP::TheilSenEstimator<float, 256>;

// Even counts take the upper of the two middle values; pairs at equal x have no slope.
TEST(TheilSen, SlopeAndInterceptAreTheUpperMedians)
{
	auto tse = std::make_unique<Estimator>();
	// six slopes 1, 1.5, 2, 7/3, 3, 4: rank 3; offsets 0, -4/3, -5/3, 0: rank 2
	float x[] = {0, 1, 2, 3}, y[] = {0, 1, 3, 7};
	tse->compute(x, y, 4);
	EXPECT_EQ(tse->slope, 7.f / 3.f);
	EXPECT_EQ(tse->yint, 0);
	// slopes -1 and 2 (the pair at x = 2 skipped): 2; offsets -1, -4, -1: -1
	float u[] = {1, 2, 2}, v[] = {1, 0, 3};
	tse->compute(u, v, 3);
	EXPECT_EQ(tse->slope, 2);
	EXPECT_EQ(tse->yint, -1);
	EXPECT_EQ(tse->xint, 0.5f);
}

// Without two distinct x values the results are the line y = 0, never what an earlier fit left.
TEST(TheilSen, DegenerateInputGivesZeroLine)
{
	auto tse = std::make_unique<Estimator>();
	float x[] = {1, 1, 1, 2}, y[] = {4, 5, 6, 9};
	for (int n : {-1, 0, 1, 3}) {
		tse->compute(x, y, 4);
		ASSERT_NE(tse->slope, 0);
		tse->compute(x, y, n);
		EXPECT_TRUE(tse->slope == 0 && tse->yint == 0 && tse->xint == 0) << n;
	}
}

// The fit as written down: every pair in order, the library's selection with NaN above every number.
std::pair<float, float> reference_fit(const std::vector<float> &x, const std::vector<float> &y)
{
	auto less = [](float a, float b) { return a < b || (std::isnan(b) && !std::isnan(a)); };
	std::vector<float> slopes, offsets;
	for (size_t a = 0; a + 1 < x.size(); ++a)
		for (size_t b = a + 1; b < x.size(); ++b)
			if (x[b] != x[a]) slopes.push_back((y[b] - y[a]) / (x[b] - x[a]));
	std::nth_element(slopes.begin(), slopes.begin() + slopes.size() / 2, slopes.end(), less);
	float slope = slopes[slopes.size() / 2];
	for (size_t i = 0; i < x.size(); ++i) offsets.push_back(y[i] - slope * x[i]);
	std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end(), less);
	return {slope, offsets[offsets.size() / 2]};
}

// Bit for bit the plain fit, up to 256 points (the narrowing path) with repeated x, tied y, wide
// magnitudes and now and then a NaN point.
TEST(TheilSen, AgreesWithPlainSelectionOnRandomPoints)
{
	auto tse = std::make_unique<Estimator>();
	Xorshift32 rng;
	auto same = [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); };
	for (int trial = 0; trial < 300; ++trial) {
		int n = 2 + rng() % 255;
		std::vector<float> x(n), y(n);
		for (int i = 0; i < n; ++i) {
			x[i] = trial % 3 ? float(i - 128) : float(int(rng() % 40) - 20);
			y[i] = std::ldexp(float(int(rng() % 2001) - 1000), int(rng() % 9) - 12);
		}
		if (trial % 5 == 4) y[rng() % n] = NAN;
		if (std::all_of(x.begin(), x.end(), [&](float v) { return v == x[0]; })) continue;
		tse->compute(x.data(), y.data(), n);
		auto [slope, yint] = reference_fit(x, y);
		ASSERT_PRED2(same, tse->slope, slope) << trial;
		ASSERT_PRED2(same, tse->yint, yint) << trial;
	}
}

}
