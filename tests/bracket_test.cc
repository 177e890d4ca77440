#include "dsp/bracket.hh"
#include "dsp/slope_bracket.hh"
#include "modem/xorshift.hh"
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Every length from 0 to 40 covers the four-at-a-time body and each tail; values repeat the bracket's
// ends and include NaN and infinities. Doubles take the plain path.
TEST(Bracket, CountsAndGathersInOrderAsAPlainLoopDoes)
{
	Xorshift32 rng;
	const float pool[] = {-INFINITY, -2, -1, -0.5f, 0, 0.5f, 1, 2, INFINITY, NAN};
	for (int n = 0; n <= 40; ++n) {
		for (int trial = 0; trial < 50; ++trial) {
			std::vector<float> v(n), expected, out(n + 3);
			for (float &x : v) x = pool[rng() % 10];
			float lo = pool[1 + rng() % 4], hi = pool[4 + rng() % 4];
			int below = 0;
			for (float x : v) {
				below += x < lo;
				if (x >= lo && x <= hi) expected.push_back(x);
			}
			DSP::Bracket b = DSP::bracket(v.data(), n, lo, hi, out.data(), n);
			ASSERT_EQ(b.below, below) << n;
			out.resize(b.inside);
			ASSERT_EQ(out, expected) << n;
			std::vector<double> wide(v.begin(), v.end()), wide_out(n + 3);
			b = DSP::bracket(wide.data(), n, double(lo), double(hi), wide_out.data(), n);
			ASSERT_EQ(b.below, below) << n;
			wide_out.resize(b.inside);
			ASSERT_EQ(std::vector<float>(wide_out.begin(), wide_out.end()), expected) << n;
		}
	}
}

// A full gather buffer keeps counting, and nothing is written past capacity + 3.
TEST(Bracket, OverflowKeepsCountsAndStaysInItsBuffer)
{
	std::vector<float> v(37, 1.0f);
	for (int capacity : {0, 1, 5, 8, 36, 37}) {
		std::vector<float> out(capacity + 3 + 8, -7.0f);
		DSP::Bracket b = DSP::bracket(v.data(), 37, 0.0f, 1.0f, out.data(), capacity);
		EXPECT_EQ(b.inside, 37);
		EXPECT_EQ(b.below, 0);
		for (int i = capacity + 3; i < int(out.size()); ++i) ASSERT_EQ(out[i], -7.0f) << capacity;
		for (int i = 0; i < capacity; ++i) ASSERT_EQ(out[i], 1.0f) << capacity;
	}
}

// The slopes of all pairs, counted in registers, give what bracket() gives over the stored slopes, up to a
// full buffer (every row's last lanes run into the NaN padding); the scalar path is the double one.
TEST(Bracket, SlopesOfAllPairsCountAsStoredSlopes)
{
	Xorshift32 rng;
	for (int n : {2, 3, 5, 8, 9, 40}) {
		std::vector<float> x(n + 3, 0), y(n + 3, NAN), slopes;
		for (int i = 0; i < n; ++i) x[i] = float(3 * i + int(rng() % 3)), y[i] = float(int(rng() % 64) - 32);
		for (int a = 0; a < n; ++a)
			for (int b = a + 1; b < n; ++b) slopes.push_back((y[b] - y[a]) / (x[b] - x[a]));
		const int pairs = int(slopes.size());
		for (int capacity : {pairs, pairs / 3}) {
			std::vector<float> expected(pairs + 3), out(capacity + 3 + 8, -7.0f);
			DSP::Bracket e = DSP::bracket(slopes.data(), pairs, -1.0f, 2.0f, expected.data(), pairs);
			DSP::Bracket b = DSP::slope_bracket(x.data(), y.data(), n, -1.0f, 2.0f, out.data(), capacity);
			ASSERT_EQ(b.below, e.below) << n;
			ASSERT_EQ(b.inside, e.inside) << n;
			for (int i = 0; i < std::min(capacity, e.inside); ++i) ASSERT_EQ(out[i], expected[i]) << n;
			for (int i = capacity + 3; i < int(out.size()); ++i) ASSERT_EQ(out[i], -7.0f) << n;
			std::vector<double> wide_x(x.begin(), x.end()), wide_y(y.begin(), y.end()), wide_out(pairs + 3);
			b = DSP::slope_bracket(wide_x.data(), wide_y.data(), n, -1.0, 2.0, wide_out.data(), pairs);
			ASSERT_EQ(b.below, e.below) << n;
			ASSERT_EQ(b.inside, e.inside) << n;
		}
	}
}

}
