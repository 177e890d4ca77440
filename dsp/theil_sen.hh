#pragma once

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
	static constexpr int sample_size = 1024, margin = 48, gather_size = 4096;
	T temp[capacity];
	T gather[gather_size];

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
				T *out = temp + count - (a + 1);
				for (int b = a + 1; b < n; ++b) out[b] = (y[b] - y[a]) / (x[b] - x[a]);
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

	// The value of rank k (from 0) among temp[0 … count − 1] in ascending
	// order; reorders temp. Any exact selection gives the same value, so the
	// rank is first bracketed between two values of a sample: one
	// pass counts what lies below the bracket and gathers what lies in it,
	// and only that handful is selected from. A bracket that misses the rank
	// (an unlucky sample) falls back to selecting from everything.
	T select(int count, int rank)
	{
		if (count > 4 * sample_size) {
			T sample[sample_size];
			// Drawn at random positions: the pairs come in rows, and any
			// strided sample would follow their pattern.
			uint32_t state = 2463534242u;
			for (int i = 0; i < sample_size; ++i) {
				state ^= state << 13, state ^= state >> 17, state ^= state << 5;
				sample[i] = temp[state % count];
			}
			int centre = int(int64_t(rank) * sample_size / count);
			T *low = sample + std::max(centre - margin, 0), *high = sample + std::min(centre + margin, sample_size - 1);
			std::nth_element(sample, low, sample + sample_size, less);
			std::nth_element(low + 1, high, sample + sample_size, less);
			// Without NaN in the bracket the order is plain <, and a NaN
			// value (above everything) falls outside it on its own.
			T lo = *low, hi = *high;
			if (lo == lo && hi == hi) {
				int below = 0, inside = 0;
				for (int i = 0; i < count; ++i) {
					T v = temp[i];
					below += v < lo;
					gather[std::min(inside, gather_size - 1)] = v;
					inside += v >= lo && v <= hi;
				}
				if (inside < gather_size && rank >= below && rank < below + inside) {
					std::nth_element(gather, gather + (rank - below), gather + inside, less);
					return gather[rank - below];
				}
			}
		}
		std::nth_element(temp, temp + rank, temp + count, less);
		return temp[rank];
	}
};

}
