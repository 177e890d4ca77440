#include "dsp/complex.hh"
#include "dsp/sum_tree.hh"
#include "src/xorshift.hh"
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using cmplx = DSP::Complex<float>;

template <typename T, int N>
struct Case
{
	using type = T;
	static constexpr int size = N;
};

// Uniform in [-1, 1).
float uniform(Xorshift32 &rng) { return float(int32_t(rng())) * 0x1p-31f; }

float draw(Xorshift32 &rng, float) { return uniform(rng); }
cmplx draw(Xorshift32 &rng, cmplx) { return {uniform(rng), uniform(rng)}; }

double real_part(float x) { return x; }
double real_part(cmplx x) { return x.re; }
double imag_part(float) { return 0; }
double imag_part(cmplx x) { return x.im; }

template <typename C>
class SumTreeTest : public testing::Test
{
};

// The receiver's sizes (SYMBOL_LEN, 2·SYMBOL_LEN, GUARD_LEN + 1 at both
// rates) beside small ones whose trees are mostly irregular: leaves at two
// depths, runs of sixteen, four or one leaf between them.
using Cases = testing::Types<Case<float, 1>, Case<float, 3>, Case<float, 24>, Case<float, 161>,
			     Case<float, 961>, Case<float, 1280>, Case<float, 7680>, Case<cmplx, 2>,
			     Case<cmplx, 5>, Case<cmplx, 40>, Case<cmplx, 640>, Case<cmplx, 3840>>;
TYPED_TEST_SUITE(SumTreeTest, Cases);

// Integers of moderate size add exactly in float, so the tree must give
// exactly the sum of the newest N values after every single insertion:
// any slip in the leaf position, the wrap or a parent index shows up.
TYPED_TEST(SumTreeTest, EqualsPlainWindowSumAfterEveryInsert)
{
	using T = typename TypeParam::type;
	constexpr int N = TypeParam::size;
	auto tree = std::make_unique<DSP::SumTree<T, N>>();
	EXPECT_EQ(tree->sum(), T(0));
	Xorshift32 rng;
	std::vector<T> history;
	int64_t re = 0, im = 0;
	for (int i = 0; i < 5 * N + 37; ++i) {
		T value;
		if constexpr (std::is_same_v<T, float>) value = float(int(rng() % 2001) - 1000);
		else value = cmplx(float(int(rng() % 2001) - 1000), float(int(rng() % 2001) - 1000));
		history.push_back(value);
		re += int64_t(real_part(value));
		im += int64_t(imag_part(value));
		if (i >= N) {
			re -= int64_t(real_part(history[i - N]));
			im -= int64_t(imag_part(history[i - N]));
		}
		tree->insert(value);
		ASSERT_EQ(real_part(tree->sum()), double(re)) << "after insert " << i;
		ASSERT_EQ(imag_part(tree->sum()), double(im)) << "after insert " << i;
	}
}

// Runs of insertions give the sum after every single one, bit for bit as
// one at a time, whatever the run lengths and the leaf position they start
// at, with the trees' states equal afterwards.
TYPED_TEST(SumTreeTest, RunsOfInsertsMatchSingleInserts)
{
	using T = typename TypeParam::type;
	constexpr int N = TypeParam::size;
	auto single = std::make_unique<DSP::SumTree<T, N>>();
	auto runs = std::make_unique<DSP::SumTree<T, N>>();
	Xorshift32 rng;
	std::vector<T> values(700), sums(700);
	for (int total = 0; total < 20 * N + 3000;) {
		int count = 1 + int(rng() % (rng() % 2 ? 700 : 9));
		for (int i = 0; i < count; ++i) values[i] = draw(rng, T()) * (rng() % 5 ? 1.f : 1e5f);
		runs->insert(values.data(), sums.data(), count);
		for (int i = 0; i < count; ++i) {
			single->insert(values[i]);
			ASSERT_EQ(sums[i], single->sum()) << "run of " << count << ", insert " << total + i;
		}
		total += count;
	}
	for (int i = 0; i < 2 * N; ++i) {
		T value = draw(rng, T());
		single->insert(value);
		runs->insert(value);
		ASSERT_EQ(runs->sum(), single->sum());
	}
}

// After millions of insertions of values spanning twelve orders of
// magnitude, the sum is bit for bit what a tree that has only ever seen the
// newest values gives (fed so that its leaf position matches), and close to
// the exact sum of the window.
TYPED_TEST(SumTreeTest, DoesNotDriftOverMillionsOfInserts)
{
	using T = typename TypeParam::type;
	constexpr int N = TypeParam::size;
	constexpr int total = 3000007;
	constexpr int keep = 2 * N;
	auto tree = std::make_unique<DSP::SumTree<T, N>>();
	std::vector<T> ring(keep);
	Xorshift32 rng;
	for (int i = 0; i < total; ++i) {
		T value = draw(rng, T());
		// Rare huge values: an add-and-subtract update would keep their
		// rounding error long after they left the window.
		value *= rng() % 97 == 0 ? 1e6f : rng() % 3 == 0 ? 1e-6f : 1.f;
		ring[i % keep] = value;
		tree->insert(value);
	}
	int phase = total % N;
	auto fresh = std::make_unique<DSP::SumTree<T, N>>();
	double re = 0, im = 0, mag = 0;
	for (int i = total - N - phase; i < total; ++i) {
		T value = ring[i % keep];
		fresh->insert(value);
		if (i >= total - N) {
			re += real_part(value);
			im += imag_part(value);
			mag += std::abs(real_part(value)) + std::abs(imag_part(value));
		}
	}
	EXPECT_EQ(tree->sum(), fresh->sum());
	double tolerance = mag * 16 * 0x1p-24;
	EXPECT_NEAR(real_part(tree->sum()), re, tolerance);
	EXPECT_NEAR(imag_part(tree->sum()), im, tolerance);
}

}
