#include "code/introselect.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <random>
#include <type_traits>
#include <vector>

namespace {

// Keys packed above their start position, as the list decoder's candidates are: the comparison sees
// keys only, and the positions tell apart equal keys in a different order.
template <int N>
constexpr int shift = std::bit_width(unsigned(N - 1));

template <int N>
bool key_less(int a, int b)
{
	return a >> shift<N> < b >> shift<N>;
}

// On libstdc++ exactly the arrangement its nth_element leaves; on any library a permutation with
// nothing before nth above a[nth] and nothing after it below.
template <int N>
void check_selection(const int *keys, int nth)
{
	int a[N], theirs[N], sorted[N];
	for (int i = 0; i < N; ++i) a[i] = theirs[i] = sorted[i] = keys[i] << shift<N> | i;
	CODE::introselect(a, nth, key_less<N>);
#ifdef __GLIBCXX__
	std::nth_element(theirs, theirs + nth, theirs + N, key_less<N>);
	ASSERT_TRUE(std::equal(a, a + N, theirs)) << "nth " << nth << " key 0 " << keys[0];
#endif
	if (nth == N) return;
	for (int i = 0; i < nth; ++i) ASSERT_FALSE(key_less<N>(a[nth], a[i])) << nth << " " << i;
	for (int i = nth + 1; i < N; ++i) ASSERT_FALSE(key_less<N>(a[i], a[nth])) << nth << " " << i;
	std::sort(a, a + N);
	std::sort(sorted, sorted + N);
	ASSERT_TRUE(std::equal(a, a + N, sorted)) << "not a permutation, nth " << nth;
}

template <typename SIZE>
class Introselect : public testing::Test
{
};

using Sizes = testing::Types<std::integral_constant<int, 1>, std::integral_constant<int, 2>,
			     std::integral_constant<int, 3>, std::integral_constant<int, 4>,
			     std::integral_constant<int, 5>, std::integral_constant<int, 7>,
			     std::integral_constant<int, 12>, std::integral_constant<int, 17>,
			     std::integral_constant<int, 32>, std::integral_constant<int, 47>,
			     std::integral_constant<int, 63>>;
TYPED_TEST_SUITE(Introselect, Sizes);

// Random keys over alphabets from one key to nearly all distinct, and ordered shapes, at every nth.
TYPED_TEST(Introselect, SelectsAsTheStandardLibraryDoes)
{
	constexpr int N = TypeParam::value;
	std::mt19937 rng(N);
	std::vector<int> k(N);
	for (int layout = 0; layout < 244; ++layout) {
		for (int i = 0; i < N; ++i) {
			int alphabet[] = {1, 2, 3, 4, 8, 1 << 20};
			std::array shapes{i, N - i, std::min(i, N - 1 - i), i % 5};
			k[i] = layout < 240 ? int(rng() % alphabet[layout / 40]) : shapes[layout - 240];
		}
		for (int nth = 0; nth <= N; ++nth) check_selection<N>(k.data(), nth);
	}
}

// Keys that keep ten median-of-three partitions of 32 from narrowing the range to three, so the
// selection ends in the heap fallback (found with an adversary comparator, then merged into ties).
TEST(Introselect, HeapFallbackSelectsAsTheStandardLibraryDoes)
{
	const std::pair<int, std::array<int, 32>> fallbacks[] = {
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
	for (const auto &[nth, keys] : fallbacks) check_selection<32>(keys.data(), nth);
}

}
