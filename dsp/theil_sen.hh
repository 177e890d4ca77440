#pragma once

#include "dsp/bracket.hh"

#include <algorithm>
#include <cstdint>

namespace DSP {

// Robust straight-line fit y = slope · x + yint: the slope is the median of
// the slopes of all point pairs with distinct x, the intercept the median of
// the offsets y − slope · x. N is the largest number of points a caller
// passes; the scratch holds the slopes of every pair of N points, so a fit
// allocates nothing.
template <typename T, int N>
class TheilSenEstimator
{
	static_assert(N >= 2);
	static constexpr int capacity = N * (N - 1) / 2;
	static constexpr int gather_size = 4096, closer_size = 1024;
	T temp[capacity];
	T gather[gather_size + 3], closer[closer_size + 3];

public:
	T xint = 0; // where the line crosses y = 0
	T yint = 0; // value at x = 0
	T slope = 0;

	// Fits the n points (x[i], y[i]). For even counts the upper of the two
	// middle values is taken. Without a pair of distinct x values (n < 2 or
	// all x equal) there is no slope, and the fit is the line y = 0: all
	// three results become 0.
	void compute(const T *x, const T *y, int n)
	{
		int count = slopes(x, y, n);
		if (!count) {
			xint = yint = slope = 0;
			return;
		}
		slope = select(count, count / 2);
		count = std::min(n, capacity);
		for (int i = 0; i < count; ++i) temp[i] = y[i] - slope * x[i];
		yint = select(count, count / 2);
		xint = -yint / slope;
	}

private:
	// The slopes of the pairs (a, b), a < b, in that order, skipping equal x
	// and stopping when the scratch is full. Rows without equal x are
	// written whole, which the compiler turns into vector divisions.
	int slopes(const T *x, const T *y, int n)
	{
		int count = 0;
		for (int a = 0; a < n - 1 && count < capacity; ++a) {
			int row = n - 1 - a, equal = 0;
			for (int b = a + 1; b < n; ++b) equal += x[b] == x[a];
			if (!equal && count + row <= capacity) {
				T *out = temp + count;
				for (int b = a + 1; b < n; ++b) out[b - a - 1] = (y[b] - y[a]) / (x[b] - x[a]);
				count += row;
				continue;
			}
			for (int b = a + 1; b < n && count < capacity; ++b)
				if (x[b] != x[a]) temp[count++] = (y[b] - y[a]) / (x[b] - x[a]);
		}
		return count;
	}

	// NaN ranks above every number so that the selection always sees a
	// strict weak order; without NaN this is plain <.
	static constexpr auto less = [](T a, T b) { return a < b || (b != b && a == a); };

	// One narrowing step of a selection: the rank is bracketed between two
	// values of a random sample of the data, and one pass counts what lies
	// below the bracket and gathers what lies in it. A step that misses the
	// rank (an unlucky sample, or NaN in the bracket) leaves the data whole.
	struct Narrowed
	{
		int size, rank;
	};
	template <int S>
	static Narrowed narrow(const T *data, int size, int rank, const int margin, T *out, int capacity)
	{
		T sample[S];
		// Drawn at random positions: the pairs come in rows, and any
		// strided sample would follow their pattern.
		uint32_t state = 2463534242u;
		for (int i = 0; i < S; ++i) {
			state ^= state << 13, state ^= state >> 17, state ^= state << 5;
			sample[i] = data[uint64_t(state) * uint32_t(size) >> 32];
		}
		int centre = int(int64_t(rank) * S / size);
		T *low = sample + std::max(centre - margin, 0);
		T *high = sample + std::min(centre + margin, S - 1);
		bool numbers = true;
		for (T v : sample) numbers &= v == v;
		if (numbers) {
			std::nth_element(sample, low, sample + S);
			std::nth_element(low + 1, high, sample + S);
		} else {
			std::nth_element(sample, low, sample + S, less);
			std::nth_element(low + 1, high, sample + S, less);
		}
		T lo = *low, hi = *high;
		// Without NaN in the bracket the order is plain <, and a NaN
		// value (above everything) falls outside it on its own.
		if (lo == lo && hi == hi) {
			Bracket b = bracket(data, size, lo, hi, out, capacity);
			if (b.inside <= capacity && rank >= b.below && rank < b.below + b.inside)
				return {b.inside, rank - b.below};
		}
		return {0, 0};
	}

	// The value of rank k (from 0) among temp[0 … count − 1] in ascending
	// order; reorders temp. Any exact selection gives the same value, so
	// two narrowing steps cut the 32640 slopes of 256 points to a few
	// hundred before the library's selection runs. Each margin is three
	// standard deviations of a sample quantile's rank, 3·√(S/4), so a step
	// misses in about 0.3 % of fits.
	T select(int count, int rank)
	{
		Narrowed first{}, second{};
		if (count > 4 * 1024) first = narrow<1024>(temp, count, rank, 48, gather, gather_size);
		if (!first.size) {
			std::nth_element(temp, temp + rank, temp + count, less);
			return temp[rank];
		}
		if (first.size > 4 * 256) second = narrow<256>(gather, first.size, first.rank, 24, closer, closer_size);
		if (!second.size) {
			std::nth_element(gather, gather + first.rank, gather + first.size);
			return gather[first.rank];
		}
		std::nth_element(closer, closer + second.rank, closer + second.size);
		return closer[second.rank];
	}
};

}
