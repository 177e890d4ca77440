#include "dsp/theil_sen.hh"
#include "modem/xorshift.hh"
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using Estimator = DSP::TheilSenEstimator<float, 256>;

struct Fit
{
	std::vector<float> x, y;
	float slope, yint;
};

class TheilSenCases : public testing::TestWithParam<Fit>
{
};

TEST_P(TheilSenCases, SlopeAndInterceptAreTheUpperMedians)
{
	const Fit &fit = GetParam();
	auto tse = std::make_unique<Estimator>();
	tse->compute(fit.x.data(), fit.y.data(), int(fit.x.size()));
	EXPECT_EQ(tse->slope, fit.slope);
	EXPECT_EQ(tse->yint, fit.yint);
	EXPECT_EQ(tse->xint, -fit.yint / fit.slope);
}

INSTANTIATE_TEST_SUITE_P(
    Points, TheilSenCases,
    testing::Values(
	// exact line y = 2x + 1: xint −0.5
	Fit{{-3, 0, 1, 2, 5, 7}, {-5, 1, 3, 5, 11, 15}, 2, 1},
	// slopes 1, 5, 9 and intercepts 0, −4, 0: the middle ones
	Fit{{0, 1, 2}, {0, 1, 10}, 5, 0},
	// one pair
	Fit{{0, 1}, {0, 1}, 1, 0},
	// six slopes 1 and four from the outlier (25, 33, 49, 97): rank 5 of ten
	Fit{{0, 1, 2, 3, 4}, {0, 1, 2, 3, 100}, 1, 0},
	// the pair at equal x is skipped: slopes −1 and 2, the upper one taken;
	// intercepts −1, −4, −1
	Fit{{1, 2, 2}, {1, 0, 3}, 2, -1},
	// six slopes 1, 1.5, 2, 7/3, 3, 4: rank 3 is the upper middle
	Fit{{0, 1, 2, 3}, {0, 1, 3, 7}, 7.f / 3.f, 0}));

TEST(TheilSen, HorizontalLineGivesInfiniteOrUndefinedCrossing)
{
	auto tse = std::make_unique<Estimator>();
	float x[] = {0, 1, 2, 3, 4}, y[] = {2.5f, 2.5f, 2.5f, 2.5f, 2.5f};
	tse->compute(x, y, 5);
	EXPECT_EQ(tse->slope, 0);
	EXPECT_EQ(tse->yint, 2.5f);
	EXPECT_TRUE(std::isinf(tse->xint) && tse->xint < 0);
	for (float &v : y) v = -1;
	tse->compute(x, y, 5);
	EXPECT_TRUE(std::isinf(tse->xint) && tse->xint > 0);
	for (float &v : y) v = 0;
	tse->compute(x, y, 5);
	EXPECT_TRUE(std::isnan(tse->xint));
}

// 256 carriers on an exact phase ramp, a fifth of them replaced by wild
// values: the fit still lands exactly on the ramp, whatever the order of the
// points, and with every x given twice.
TEST(TheilSen, IgnoresAFifthOfOutliersAtFullSize)
{
	auto tse = std::make_unique<Estimator>();
	std::vector<float> x(256), y(256);
	Xorshift32 rng;
	for (int i = 0; i < 256; ++i) {
		x[i] = float(i - 128);
		y[i] = 0.25f * x[i] - 3;
		if (i % 5 == 2) y[i] = float(int(rng() % 2000)) - 1000;
	}
	tse->compute(x.data(), y.data(), 256);
	EXPECT_EQ(tse->slope, 0.25f);
	EXPECT_EQ(tse->yint, -3);
	EXPECT_EQ(tse->xint, 12);
	for (int i = 255; i > 0; --i) {
		int j = int(rng() % unsigned(i + 1));
		std::swap(x[i], x[j]);
		std::swap(y[i], y[j]);
	}
	for (int i = 0; i < 128; ++i) x[2 * i + 1] = x[2 * i], y[2 * i + 1] = 0.25f * x[2 * i] - 3;
	tse->compute(x.data(), y.data(), 256);
	EXPECT_EQ(tse->slope, 0.25f);
	EXPECT_EQ(tse->yint, -3);
}

// Without two distinct x values there is no slope: the results are the
// fixed line y = 0, never what an earlier fit left in the scratch.
TEST(TheilSen, DegenerateInputGivesZeroLine)
{
	auto tse = std::make_unique<Estimator>();
	float x[] = {1, 1, 1, 2}, y[] = {4, 5, 6, 9};
	for (int n : {-1, 0, 1, 3}) {
		tse->compute(x, y, 4);
		ASSERT_NE(tse->slope, 0);
		tse->compute(x, y, n);
		EXPECT_EQ(tse->slope, 0) << n;
		EXPECT_EQ(tse->yint, 0) << n;
		EXPECT_EQ(tse->xint, 0) << n;
	}
}

}

namespace {

// The fit as written down: every pair in order, the standard library's
// selection with NaN above every number. The estimator must agree with it
// bit for bit.
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

TEST(TheilSen, AgreesWithPlainSelectionOnRandomPoints)
{
	auto tse = std::make_unique<Estimator>();
	Xorshift32 rng;
	for (int trial = 0; trial < 300; ++trial) {
		int n = 2 + rng() % 255;
		std::vector<float> x(n), y(n);
		for (int i = 0; i < n; ++i) {
			// Some x repeat, some y tie, signs and magnitudes vary widely.
			x[i] = trial % 3 ? float(i - 128) : float(int(rng() % 40) - 20);
			y[i] = std::ldexp(float(int(rng() % 2001) - 1000), int(rng() % 9) - 12);
		}
		// A broken point now and then: its slopes are NaN.
		if (trial % 5 == 4) y[rng() % n] = NAN;
		if (std::all_of(x.begin(), x.end(), [&](float v) { return v == x[0]; })) continue;
		tse->compute(x.data(), y.data(), n);
		auto [slope, yint] = reference_fit(x, y);
		// Few points and a broken one can leave NaN as the median.
		auto same = [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); };
		ASSERT_PRED2(same, tse->slope, slope) << trial;
		ASSERT_PRED2(same, tse->yint, yint) << trial;
	}
}

}
