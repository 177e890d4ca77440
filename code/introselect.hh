#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

namespace CODE {

namespace detail {

// Bit i, and bit N - 1 - i, for the positions i of an array of N.
template <int N>
struct PositionBits
{
	using MASK = std::conditional_t<N <= 32, uint32_t, uint64_t>;
	MASK bit[N], reversed[N];
	constexpr PositionBits() : bit(), reversed()
	{
		for (int i = 0; i < N; ++i) {
			bit[i] = MASK(1) << i;
			reversed[i] = MASK(1) << (N - 1 - i);
		}
	}
};

// Bit i of the first mask says less(a[i], p); bit N - 1 - i of the second
// says less(p, a[i]), reversed so that a downward scan finds its next stop
// with the same cheap lowest-bit steps as an upward one. Over the whole
// fixed-size array, so the loops vectorise (compare, select the position's
// bit, OR); the caller masks off what lies outside its range.
template <typename T, int N, typename LESS>
void pivot_masks(uint64_t &below, uint64_t &above_reversed, const T (&a)[N], T p, LESS less)
{
	static constexpr PositionBits<N> position;
	typename PositionBits<N>::MASK b = 0, c = 0;
	for (int i = 0; i < N; ++i) b |= less(a[i], p) ? position.bit[i] : 0;
	for (int i = 0; i < N; ++i) c |= less(p, a[i]) ? position.reversed[i] : 0;
	below = b;
	above_reversed = c;
}

template <typename T, int N, typename LESS>
void push_heap(T (&a)[N], int first, int hole, int top, T value, LESS less)
{
	int parent = (hole - 1) / 2;
	while (hole > top && less(a[first + parent], value)) {
		a[first + hole] = a[first + parent];
		hole = parent;
		parent = (hole - 1) / 2;
	}
	a[first + hole] = value;
}

template <typename T, int N, typename LESS>
void adjust_heap(T (&a)[N], int first, int hole, int len, T value, LESS less)
{
	const int top = hole;
	int child = hole;
	while (child < (len - 1) / 2) {
		child = 2 * (child + 1);
		if (less(a[first + child], a[first + child - 1])) --child;
		a[first + hole] = a[first + child];
		hole = child;
	}
	if ((len & 1) == 0 && child == (len - 2) / 2) {
		child = 2 * (child + 1);
		a[first + hole] = a[first + child - 1];
		hole = child - 1;
	}
	push_heap(a, first, hole, top, value, less);
}

// Max-heap over [first, middle), then every later element below its top
// replaces the top, which moves to that element's place.
template <typename T, int N, typename LESS>
void heap_select(T (&a)[N], int first, int middle, int last, LESS less)
{
	const int len = middle - first;
	if (len >= 2) {
		for (int parent = (len - 2) / 2; parent >= 0; --parent)
			adjust_heap(a, first, parent, len, a[first + parent], less);
	}
	for (int i = middle; i < last; ++i) {
		if (less(a[i], a[first])) {
			T value = a[i];
			a[i] = a[first];
			adjust_heap(a, first, 0, len, value, less);
		}
	}
}

// Position of the median of a[first + 1], a[first + (last - first) / 2] and
// a[last - 1], chosen among ties as the nested comparisons of the standard
// library do; its value goes to median without waiting for a second load.
template <typename T, int N, typename LESS>
int median_of_three(T &median, const T (&a)[N], int first, int last, LESS less)
{
	const int i = first + 1, j = first + (last - first) / 2, k = last - 1;
	const T x = a[i], y = a[j], z = a[k];
	// Which of x, y, z (0, 1, 2) is taken, two bits for each outcome of
	// less(x, y), less(y, z), less(x, z) read as a three-bit number.
	const int outcome = less(x, y) << 2 | less(y, z) << 1 | less(x, z);
	const int which = 0b0101100000100001 >> 2 * outcome & 3;
	const T v[3] = {x, y, z};
	median = v[which];
	return i + (which == 1) * (j - i) + (which == 2) * (k - i);
}

// Swaps the median of three into a[first], then makes the Hoare partition of
// [first + 1, last) around it, with the cut and the swaps of the unguarded
// loops but without their unpredictable branch per element. Returns the cut:
// nothing before it is above the pivot, nothing from it on below.
//
// The upward scan stops at positions not below the pivot, the downward scan
// at positions not above it; the largest and the smallest of the three
// bound them inside the range. Swapped elements only ever stop the scans
// again where the partition ends, so the k-th swap exchanges the k-th stop
// of the upward scan with the k-th stop of the downward scan, as long as the
// first lies below the second; the cut is then the next upward stop, or the
// last downward swap position if that comes first.
//
// The masks are taken before the median moves, and its two positions fixed
// by hand: the wide loads then need not wait for the narrow stores.
template <typename T, int N, typename LESS>
int partition(T (&a)[N], int first, int last, LESS less)
{
	T p;
	const int m = median_of_three(p, a, first, last, less);
	const T displaced = a[first];
	uint64_t below, above;
	pivot_masks(below, above, a, p, less);
	below = (below & ~(uint64_t(1) << m)) | uint64_t(less(displaced, p)) << m;
	above = (above & ~(uint64_t(1) << (N - 1 - m))) | uint64_t(less(p, displaced)) << (N - 1 - m);
	a[first] = p;
	a[m] = displaced;
	// Positions first + 1 ... last - 1, forward and reversed; bit 63 lies
	// outside both, a stop that ends the partition once the real ones run out
	// (which the median of three rules out).
	const uint64_t range = ((uint64_t(1) << last) - 1) >> (first + 1) << (first + 1);
	const uint64_t range_reversed = ((uint64_t(1) << (N - 1 - first)) - 1) >> (N - last) << (N - last);
	constexpr uint64_t none = uint64_t(1) << 63;
	uint64_t up = ~below & range, down = ~above & range_reversed;
	int f = std::countr_zero(up | none), l = N - 1 - std::countr_zero(down | none), bound = 63;
	while (f < l) {
		T t = a[f];
		a[f] = a[l];
		a[l] = t;
		bound = l;
		up &= up - 1;
		down &= down - 1;
		f = std::countr_zero(up | none);
		l = N - 1 - std::countr_zero(down | none);
	}
	return f < bound ? f : bound;
}

// Stable sort of the n <= 3 elements from first on (n >= 1), each element
// stored straight to its rank. Slots past n (read and written back clamped
// to the array) keep their place; they are stored first, so a clamped slot
// never overwrites a sorted one.
template <typename T, int N, typename LESS>
void sort_small(T (&a)[N], int first, int n, LESS less)
{
	const int at1 = first + 1 < N ? first + 1 : N - 1, at2 = first + 2 < N ? first + 2 : N - 1;
	const T e0 = a[first], e1 = a[at1], e2 = a[at2];
	const int two = n >= 2, three = n == 3;
	// A later element goes before an earlier one only when strictly less.
	const int c10 = less(e1, e0), c20 = less(e2, e0), c21 = less(e2, e1);
	const int r0 = two * c10 + three * c20;
	const int r1 = two ? 1 - c10 + three * c21 : at1 - first;
	const int r2 = three ? 2 - c20 - c21 : at2 - first;
	a[first + r2] = e2;
	a[first + r1] = e1;
	a[first + r0] = e0;
}

}

// Rearranges a so that a[nth] is the element a sort by less would put there,
// none before it is above it and none after it below, with exactly the moves
// of libstdc++'s std::nth_element(a, a + nth, a + N, less): median-of-three
// introselect with a depth limit of twice the floor of log2 N, heap selection
// past that limit and insertion sort below four elements. Which of equal
// elements ends where therefore matches that library on every platform.
// Requires 0 <= nth <= N and a strict weak order less.
template <typename T, int N, typename LESS>
void introselect(T (&a)[N], int nth, LESS less)
{
	static_assert(N >= 1 && N <= 63, "positions are bits of a 64-bit mask, with one to spare");
	if (nth == N) return;
	int first = 0, last = N;
	for (int depth = 2 * (std::bit_width(unsigned(N)) - 1); last - first > 3; --depth) {
		if (depth == 0) {
			detail::heap_select(a, first, nth + 1, last, less);
			T t = a[first];
			a[first] = a[nth];
			a[nth] = t;
			return;
		}
		const int cut = detail::partition(a, first, last, less);
		const int right = -(cut <= nth);
		first += (cut - first) & right;
		last += (cut - last) & ~right;
	}
	detail::sort_small(a, first, last - first, less);
}

}
