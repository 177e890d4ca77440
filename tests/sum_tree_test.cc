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

// The receiver's sizes (SYMBOL_LEN, 2·SYMBOL_LEN, GUARD_LEN + 1 at both rates) beside small ones whose
// trees are mostly irregular: leaves at two depths, runs of sixteen, four or one leaf between them.
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
	T uniform() { return draw([this] { return float(int32_t(rng())) * 0x1p-31f; }); }
};
TYPED_TEST_SUITE(SumTreeTest, Cases);

// Integers add exactly in float, so the tree must give exactly the sum of the newest N values after
// every insertion, single or in runs of any length from any leaf position.
TYPED_TEST(SumTreeTest, EqualsPlainWindowSumAfterEveryInsert)
{
	using T = typename TestFixture::T;
	constexpr int N = TestFixture::N;
	auto runs = std::make_unique<DSP::SumTree<T, N>>();
	auto &rng = this->rng;
	std::vector<T> history, values, sums(700);
	cmplx exact = 0;
	while (history.size() < size_t(5 * N + 3000)) {
		values.resize(1 + rng() % (rng() % 2 ? 700 : 9));
		for (T &v : values) v = this->draw([&] { return float(int(rng() % 2001) - 1000); });
		runs->insert(values.data(), sums.data(), values.size());
		for (size_t i = 0; i < values.size(); ++i) {
			history.push_back(values[i]);
			exact += cmplx(values[i]);
			if (history.size() > size_t(N)) exact -= cmplx(history[history.size() - 1 - N]);
			this->tree->insert(values[i]);
			ASSERT_EQ(cmplx(this->tree->sum()), exact) << "after insert " << history.size();
			ASSERT_EQ(cmplx(sums[i]), exact) << "run of " << values.size();
		}
	}
	ASSERT_EQ(runs->sum(), this->tree->sum());
}

// After millions of insertions spanning twelve orders of magnitude (rare huge ones, whose rounding an
// add-and-subtract update would keep), the sum is bit for bit that of a tree that saw only the newest
// values at the same leaf position.
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
	for (int i = total - N - total % N; i < total; ++i) fresh->insert(ring[i % keep]);
	EXPECT_EQ(this->tree->sum(), fresh->sum());
}

// Leaves assigned as insertions left them give the same sums, bit for bit, before and after more
// insertions from the same leaf.
TYPED_TEST(SumTreeTest, AssignedLeavesGiveTheSumsOfInsertions)
{
	using T = typename TestFixture::T;
	constexpr int N = TestFixture::N;
	std::vector<T> leaves(N);
	const int count = N + int(this->rng() % (2 * N));
	for (int i = 0; i < count; ++i) this->tree->insert(leaves[i % N] = this->uniform());
	auto assigned = std::make_unique<DSP::SumTree<T, N>>();
	assigned->assign([&](int k) { return leaves[k]; }, count % N);
	ASSERT_EQ(assigned->sum(), this->tree->sum());
	for (int i = 0; i < N; ++i) {
		T v = this->uniform();
		this->tree->insert(v);
		assigned->insert(v);
		ASSERT_EQ(assigned->sum(), this->tree->sum()) << i;
	}
}

}
