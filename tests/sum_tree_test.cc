#include "dsp/complex.hh"
#include "dsp/sum_tree.hh"
#include "modem/xorshift.hh"
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

// The receiver's sizes (SYMBOL_LEN, 2·SYMBOL_LEN, GUARD_LEN + 1 at both
// rates) beside small ones whose trees are mostly irregular: leaves at two
// depths, runs of sixteen, four or one leaf between them.
using Cases = testing::Types<Case<float, 1>, Case<float, 3>, Case<float, 24>, Case<float, 161>,
			     Case<float, 961>, Case<float, 1280>, Case<float, 7680>, Case<cmplx, 2>,
			     Case<cmplx, 5>, Case<cmplx, 40>, Case<cmplx, 640>, Case<cmplx, 3840>>;

template <typename C>
struct SumTreeTest : testing::Test
{
	using T = typename C::type;
	static constexpr int N = C::size;
	Xorshift32 rng;
	std::unique_ptr<DSP::SumTree<T, N>> tree = std::make_unique<DSP::SumTree<T, N>>();

	// A value of parts drawn by part(); a float is a complex value's real part.
	T draw(auto part)
	{
		if constexpr (std::is_same_v<T, float>) return part();
		else return T(part(), part());
	}
	T uniform() { return draw([this] { return float(int32_t(rng())) * 0x1p-31f; }); } // [−1, 1)
};
TYPED_TEST_SUITE(SumTreeTest, Cases);

// Integers of moderate size add exactly in float, so the tree must give
// exactly the sum of the newest N values after every single insertion:
// any slip in the leaf position, the wrap or a parent index shows up.
TYPED_TEST(SumTreeTest, EqualsPlainWindowSumAfterEveryInsert)
{
	constexpr int N = TestFixture::N;
	EXPECT_EQ(this->tree->sum(), typename TestFixture::T(0));
	std::vector<cmplx> history;
	cmplx exact = 0; // integer sums below 2^24: exact in float too
	for (int i = 0; i < 5 * N + 37; ++i) {
		auto value = this->draw([this] { return float(int(this->rng() % 2001) - 1000); });
		history.push_back(value);
		exact += history[i];
		if (i >= N) exact -= history[i - N];
		this->tree->insert(value);
		ASSERT_EQ(cmplx(this->tree->sum()), exact) << "after insert " << i;
	}
}

// Runs of insertions give the sum after every single one, bit for bit as
// one at a time, whatever the run lengths and the leaf position they start
// at, with the trees' states equal afterwards.
TYPED_TEST(SumTreeTest, RunsOfInsertsMatchSingleInserts)
{
	using T = typename TestFixture::T;
	constexpr int N = TestFixture::N;
	auto single = std::make_unique<DSP::SumTree<T, N>>();
	auto &runs = this->tree, &rng = this->rng;
	std::vector<T> values(700), sums(700);
	for (int total = 0; total < 20 * N + 3000; total += values.size()) {
		values.resize(1 + rng() % (rng() % 2 ? 700 : 9));
		for (T &v : values) v = this->uniform() * (rng() % 5 ? 1.f : 1e5f);
		runs->insert(values.data(), sums.data(), values.size());
		for (size_t i = 0; i < values.size(); ++i) {
			single->insert(values[i]);
			ASSERT_EQ(sums[i], single->sum()) << "run " << values.size() << " at " << total + i;
		}
	}
	for (int i = 0; i < 2 * N; ++i) {
		T value = this->uniform();
		single->insert(value);
		runs->insert(value);
		ASSERT_EQ(runs->sum(), single->sum());
	}
}

// After millions of insertions of values spanning twelve orders of
// magnitude (rare huge ones: an add-and-subtract update would keep their
// rounding error long after they left the window), the sum is bit for bit
// what a tree that has only ever seen the newest values gives (fed so that
// its leaf position matches), and close to the exact sum of the window.
TYPED_TEST(SumTreeTest, DoesNotDriftOverMillionsOfInserts)
{
	constexpr int N = TestFixture::N, total = 3000007, keep = 2 * N;
	std::vector<typename TestFixture::T> ring(keep);
	auto &rng = this->rng;
	for (int i = 0; i < total; ++i) {
		ring[i % keep] = this->uniform() * (rng() % 97 == 0 ? 1e6f : rng() % 3 == 0 ? 1e-6f : 1.f);
		this->tree->insert(ring[i % keep]);
	}
	auto fresh = std::make_unique<DSP::SumTree<typename TestFixture::T, N>>();
	double re = 0, im = 0, magnitude = 0;
	for (int i = total - N - total % N; i < total; ++i) {
		fresh->insert(ring[i % keep]);
		cmplx value = ring[i % keep];
		if (i < total - N) continue;
		re += value.re, im += value.im;
		magnitude += std::abs(value.re) + std::abs(value.im);
	}
	EXPECT_EQ(this->tree->sum(), fresh->sum());
	cmplx sum = this->tree->sum();
	EXPECT_NEAR(sum.re, re, magnitude * 16 * 0x1p-24);
	EXPECT_NEAR(sum.im, im, magnitude * 16 * 0x1p-24);
}

}
