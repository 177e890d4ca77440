#include "src/introselect.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <type_traits>
#include <vector>

namespace {

// Keys packed above their start position, as the list decoder's candidates
// are: the comparison sees keys only, and the positions show where each
// element went, so equal keys in a different order are told apart.
template <int N>
constexpr int shift = std::bit_width(unsigned(N - 1));

template <int N>
bool key_less(int a, int b)
{
	return a >> shift<N> < b >> shift<N>;
}

template <int N>
void pack(int (&a)[N], const int *keys)
{
	for (int i = 0; i < N; ++i) a[i] = keys[i] << shift<N> | i;
}

// Key layouts that steer the pivots differently: random over alphabets from
// one key (all equal) to nearly all distinct, and the classic ordered shapes.
template <int N>
std::vector<std::vector<int>> layouts(std::mt19937 &rng)
{
	std::vector<std::vector<int>> all;
	for (int alphabet : {1, 2, 3, 4, 8, 1 << 20})
		for (int t = 0; t < 40; ++t) {
			std::vector<int> k(N);
			for (int &x : k) x = rng() % alphabet;
			all.push_back(k);
		}
	std::vector<int> up(N), down(N), organ(N), saw(N);
	for (int i = 0; i < N; ++i) {
		up[i] = i;
		down[i] = N - i;
		organ[i] = std::min(i, N - 1 - i);
		saw[i] = i % 5;
	}
	all.insert(all.end(), {up, down, organ, saw});
	return all;
}

template <typename SIZE>
class Introselect : public testing::Test
{
};

using Sizes = testing::Types<std::integral_constant<int, 1>, std::integral_constant<int, 2>,
			     std::integral_constant<int, 3>, std::integral_constant<int, 4>,
			     std::integral_constant<int, 5>, std::integral_constant<int, 7>,
			     std::integral_constant<int, 12>, std::integral_constant<int, 17>,
			     std::integral_constant<int, 31>, std::integral_constant<int, 32>,
			     std::integral_constant<int, 47>, std::integral_constant<int, 63>>;
TYPED_TEST_SUITE(Introselect, Sizes);

TYPED_TEST(Introselect, SameArrangementAsLibstdcxxNthElement)
{
#ifdef __GLIBCXX__
	constexpr int N = TypeParam::value;
	std::mt19937 rng(N);
	for (const auto &keys : layouts<N>(rng))
		for (int nth = 0; nth <= N; ++nth) {
			int ours[N], theirs[N];
			pack(ours, keys.data());
			pack(theirs, keys.data());
			CODE::introselect(ours, nth, key_less<N>);
			std::nth_element(theirs, theirs + nth, theirs + N, key_less<N>);
			ASSERT_TRUE(std::equal(ours, ours + N, theirs))
			    << "nth " << nth << " key 0 " << keys[0];
		}
#else
	GTEST_SKIP() << "the arrangement is defined by libstdc++'s nth_element";
#endif
}

// Independent of any library: a permutation with nothing before nth above
// a[nth] and nothing after it below.
TYPED_TEST(Introselect, PartitionsAroundNth)
{
	constexpr int N = TypeParam::value;
	std::mt19937 rng(100 + N);
	for (const auto &keys : layouts<N>(rng))
		for (int nth = 0; nth < N; ++nth) {
			int a[N], start[N];
			pack(a, keys.data());
			std::copy(a, a + N, start);
			std::sort(start, start + N);
			CODE::introselect(a, nth, key_less<N>);
			for (int i = 0; i < nth; ++i)
				ASSERT_FALSE(key_less<N>(a[nth], a[i])) << nth << " " << i;
			for (int i = nth + 1; i < N; ++i)
				ASSERT_FALSE(key_less<N>(a[i], a[nth])) << nth << " " << i;
			std::sort(a, a + N);
			ASSERT_TRUE(std::equal(a, a + N, start));
		}
}

// Keys that keep ten median-of-three partitions of 32 from narrowing the
// range to three, so the selection ends in the heap fallback. Found by a
// lazily valued adversary comparator, then merged into ties while the
// fallback was still reached.
struct Fallback
{
	int nth;
	int keys[32];
};

const Fallback fallbacks[] = {
	{16, {24, 1, 6, 31, 9, 5, 8, 7, 10, 28, 16, 15, 12, 25, 27, 21,
	      0, 2, 4, 30, 29, 13, 26, 17, 22, 23, 18, 19, 14, 11, 20, 3}},
	{16, {29, 1, 2, 28, 7, 21, 6, 10, 8, 22, 23, 15, 20, 13, 24, 26,
	      31, 30, 12, 19, 16, 17, 18, 11, 14, 4, 5, 3, 25, 27, 9, 0}},
	{16, {4, 2, 5, 1, 4, 2, 6, 3, 6, 6, 4, 5, 4, 6, 4, 4,
	      0, 1, 2, 6, 5, 4, 6, 6, 6, 6, 6, 6, 6, 4, 4, 0}},
	{16, {5, 0, 2, 5, 2, 2, 3, 2, 2, 2, 2, 2, 3, 3, 2, 4,
	      5, 5, 2, 2, 3, 2, 2, 3, 3, 1, 4, 1, 5, 5, 2, 0}},
	{5, {6, 6, 1, 3, 4, 1, 3, 2, 2, 3, 3, 3, 0, 4, 4, 5,
	     5, 1, 4, 3, 3, 3, 3, 3, 3, 3, 5, 5, 0, 4, 5, 6}},
	{24, {21, 1, 17, 3, 25, 5, 19, 7, 24, 9, 22, 11, 23, 13, 20, 15,
	      0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 26, 27, 28, 29, 30, 31}},
};

TEST(IntroselectFallback, SameArrangementAsLibstdcxxNthElement)
{
#ifdef __GLIBCXX__
	for (const Fallback &f : fallbacks) {
		int ours[32], theirs[32];
		pack(ours, f.keys);
		pack(theirs, f.keys);
		CODE::introselect(ours, f.nth, key_less<32>);
		std::nth_element(theirs, theirs + f.nth, theirs + 32, key_less<32>);
		EXPECT_TRUE(std::equal(ours, ours + 32, theirs)) << "nth " << f.nth << " key 0 " << f.keys[0];
	}
#else
	GTEST_SKIP() << "the arrangement is defined by libstdc++'s nth_element";
#endif
}

TEST(IntroselectFallback, PartitionsAroundNth)
{
	for (const Fallback &f : fallbacks) {
		int a[32], start[32];
		pack(a, f.keys);
		std::copy(a, a + 32, start);
		std::sort(start, start + 32);
		CODE::introselect(a, f.nth, key_less<32>);
		for (int i = 0; i < f.nth; ++i)
			EXPECT_FALSE(key_less<32>(a[f.nth], a[i])) << f.nth << " " << i;
		for (int i = f.nth + 1; i < 32; ++i)
			EXPECT_FALSE(key_less<32>(a[i], a[f.nth])) << f.nth << " " << i;
		std::sort(a, a + 32);
		EXPECT_TRUE(std::equal(a, a + 32, start));
	}
}

}
