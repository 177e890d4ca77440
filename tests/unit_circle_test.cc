#include "dsp/unit_circle.hh"

#include <numbers>
#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

using Circle = DSP::UnitCircle<float>;

namespace {

// Odd multiples of N/8 are the octant bounds, where the kernel changes.
bool on_bound(int n, int N) { return (8 * n) % N == 0 && (8 * n / N) % 2 != 0; }

}

// Within 1e-7 of the true values over two turns; folding is exact in integers, so the symmetries hold
// bit for bit (a zero's sign aside) except across an octant bound.
TEST(UnitCircle, AccurateAndSymmetricOverTwoTurns)
{
	for (int N : {1000, 1440, 7680}) {
		for (int n = -N; n <= N; ++n) {
			if (N == 1000) {
				EXPECT_NEAR(Circle::cos(n, N), std::cos(2 * std::numbers::pi * n / N), 1e-7) << n;
				EXPECT_NEAR(Circle::sin(n, N), std::sin(2 * std::numbers::pi * n / N), 1e-7) << n;
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

// Exact on the axes for every length in use, the transforms' included.
TEST(UnitCircle, ExactOnTheAxes)
{
	for (int N : {4, 8, 24, 32, 120, 256, 512, 640, 720, 1000, 1280, 3840, 4320, 7680, 15360}) {
		for (auto [c, s, n] : {std::tuple{1.f, 0.f, 0}, {-1.f, 0.f, N / 2}, {-1.f, 0.f, -N / 2},
				       {0.f, 1.f, N / 4}, {0.f, -1.f, -N / 4},
				       {1.f, 0.f, N}, {1.f, 0.f, -N}}) {
			EXPECT_EQ(Circle::cos(n, N), c) << n << '/' << N;
			EXPECT_EQ(Circle::sin(n, N), s) << n << '/' << N;
		}
	}
}
