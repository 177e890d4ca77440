#include "dsp/unit_circle.hh"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <tuple>

using Circle = DSP::UnitCircle<float>;

namespace {

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// Odd multiples of N are the octant bounds, where the row changes.
bool on_bound(int n, int N) { return (8 * n) % N == 0 && (8 * n / N) % 2 != 0; }

}

// Within 1e-7 of the true values over two whole turns of N = 1000 (finer
// divisions come within about 1.1e-7). Folding is exact in
// integers and the kernel argument for D = 4N is the same float as for
// D = N, so the symmetries hold exactly (up to the sign of a zero, which
// float equality ignores) except across a row bound.
TEST(UnitCircle, AccurateAndSymmetricBitForBitOverTwoTurns)
{
	for (int N : {1000, 1440, 7680}) {
		for (int n = -N; n <= N; ++n) {
			if (N == 1000) {
				EXPECT_NEAR(Circle::cos(n, N), std::cos(2 * M_PI * n / N), 1e-7) << n;
				EXPECT_NEAR(Circle::sin(n, N), std::sin(2 * M_PI * n / N), 1e-7) << n;
			}
			if (!on_bound(n, N) && !on_bound(-n, N)) {
				EXPECT_EQ(Circle::sin(-n, N), -Circle::sin(n, N)) << n << '/' << N;
				EXPECT_EQ(Circle::cos(-n, N), Circle::cos(n, N)) << n << '/' << N;
			}
			if (n + N / 4 <= N) {
				EXPECT_EQ(Circle::cos(n + N / 4, N), -Circle::sin(n, N)) << n << '/' << N;
				EXPECT_EQ(Circle::sin(n + N / 4, N), Circle::cos(n, N)) << n << '/' << N;
			}
		}
	}
}

// Exact on the axes for every length in use (the transforms' too), with a
// negative zero where the kernels run at angle 0 and the row negates.
TEST(UnitCircle, ExactOnTheAxes)
{
	for (int N : {4, 8, 24, 32, 120, 256, 512, 640, 720, 1000, 1280, 3840, 4320, 7680, 15360}) {
		EXPECT_EQ(bits(Circle::cos(0, N)), bits(1.f)) << N;
		EXPECT_EQ(bits(Circle::sin(0, N)), bits(0.f)) << N;
		EXPECT_EQ(bits(Circle::cos(N / 4, N)), bits(-0.f)) << N;
		EXPECT_EQ(bits(Circle::sin(N / 2, N)), bits(-0.f)) << N;
		for (auto [c, s, n] : {std::tuple{-1.f, 0.f, N / 2}, {-1.f, 0.f, -N / 2}, {0.f, 1.f, N / 4},
				       {0.f, -1.f, -N / 4}, {1.f, 0.f, N}, {1.f, 0.f, -N}}) {
			EXPECT_EQ(Circle::cos(n, N), c) << n << '/' << N;
			EXPECT_EQ(Circle::sin(n, N), s) << n << '/' << N;
		}
	}
}

// A bound belongs to the row above it.
TEST(UnitCircle, BoundsBelongToTheRowAbove)
{
	// 8n = −7N must take the row with kernel angle −π/4 (sine kernel for the
	// cosine), not the outer row with +π/4 through the cosine kernel.
	EXPECT_EQ(bits(Circle::cos(-7, 8)), bits(-Circle::sin(-1, 8)));
	EXPECT_EQ(bits(Circle::sin(-7, 8)), bits(Circle::cos(-1, 8)));
	// 8n = N: angle −π/4 of the row N ≤ 8n < 3N.
	EXPECT_EQ(bits(Circle::cos(1, 8)), bits(-Circle::sin(-1, 8)));
	EXPECT_EQ(bits(Circle::sin(1, 8)), bits(Circle::cos(-1, 8)));
	// 8n = −N is inside the central row.
	EXPECT_EQ(bits(Circle::sin(-125, 1000)), bits(Circle::sin(-1, 8)));
	EXPECT_EQ(bits(Circle::cos(-125, 1000)), bits(Circle::cos(-1, 8)));
}

// Each coefficient's bit pattern sits where it belongs: the low ones at the
// nearest float to 1/k! (c5 and s4 two units below it), the top two of each
// kernel slightly below their Taylor values.
TEST(UnitCircle, CoefficientPatternsMatchTheirSeries)
{
	auto inverse_factorial = [](int k) {
		double f = 1;
		for (int i = 2; i <= k; ++i) f *= i;
		return 1 / f;
	};
	auto units_below = [](float x, double v) { return int(bits(float(v)) - bits(x)); };
	for (auto [x, k, units] : {std::tuple{Circle::c2, 4, 0}, {Circle::c3, 6, 0}, {Circle::c4, 8, 0},
				   {Circle::c5, 10, 2}, {Circle::s1, 3, 0}, {Circle::s2, 5, 0},
				   {Circle::s3, 7, 0}, {Circle::s4, 9, 2}})
		EXPECT_EQ(units_below(x, inverse_factorial(k)), units) << k;
	auto tuned = {std::pair{-Circle::c7, 14}, {Circle::c6, 12}, {Circle::s6, 13}, {Circle::s5, 11}};
	for (auto [x, k] : tuned) {
		EXPECT_LT(x, inverse_factorial(k)) << k;
		EXPECT_GT(x, 0.98 * inverse_factorial(k)) << k;
	}
	EXPECT_EQ(bits(Circle::c7), 0xAD47D24Du);
	EXPECT_EQ(Circle::two_pi, float(2 * M_PI));
}
