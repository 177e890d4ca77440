#pragma once

#include "dsp/bracket.hh"
#include "dsp/quickselect.hh"
#include "dsp/slope_bracket.hh"

#include <algorithm>
#include <cstdint>
#include <limits>

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
	static constexpr int sample_size = 1024, gather_size = 4096, closer_size = 1024;
	T temp[capacity];
	T padded_x[N + 3], padded_y[N + 3], sample[sample_size];
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
		if (!bracketed_median(x, y, n, slope)) {
			int count = slopes(x, y, n);
			if (!count) {
				xint = yint = slope = 0;
				return;
			}
			slope = select(temp, count, count / 2);
		}
		int count = std::min(n, capacity);
		for (int i = 0; i < count; ++i) temp[i] = y[i] - slope * x[i];
		yint = select(temp, count, count / 2);
		xint = -yint / slope;
	}

private:
	// The slopes of the pairs (a, b), b > a, in order, skipping equal x, at
	// most room of them. A row without equal x is written whole, which the
	// compiler turns into vector divisions.
	static int row_slopes(const T *x, const T *y, int n, int a, T *out, int room)
	{
		int equal = 0;
		for (int b = a + 1; b < n; ++b) equal += x[b] == x[a];
		if (!equal && n - 1 - a <= room) {
			for (int b = a + 1; b < n; ++b) out[b - a - 1] = (y[b] - y[a]) / (x[b] - x[a]);
			return n - 1 - a;
		}
		int count = 0;
		for (int b = a + 1; b < n && count < room; ++b)
			if (x[b] != x[a]) out[count++] = (y[b] - y[a]) / (x[b] - x[a]);
		return count;
	}

	// Every slope, row after row, until the scratch is full.
	int slopes(const T *x, const T *y, int n)
	{
		int count = 0;
		for (int a = 0; a < n - 1 && count < capacity; ++a)
			count += row_slopes(x, y, n, a, temp + count, capacity - count);
		return count;
	}

	// NaN ranks above every number so that the selection always sees a
	// strict weak order; without NaN this is plain <.
	static constexpr auto less = [](T a, T b) { return a < b || (b != b && a == a); };

	// The value of rank k among data[0 … count − 1]; reorders data.
	static T select(T *data, int count, int rank)
	{
		bool numbers = true;
		for (int i = 0; i < count; ++i) numbers &= data[i] == data[i];
		if (numbers) return quickselect(data, count, rank);
		std::nth_element(data, data + rank, data + count, less);
		return data[rank];
	}

	// A hash of i, so that the draws of a sample do not wait for each other.
	static uint32_t draw(uint32_t i)
	{
		i ^= i >> 16, i *= 0x7feb352du, i ^= i >> 15, i *= 0x846ca68bu, i ^= i >> 16;
		return i;
	}

	// The values of ranks low and high of sample[0 … S − 1], low < high.
	template <int S>
	static void quantiles(T *sample, int low, int high, T &lo, T &hi)
	{
		lo = quickselect(sample, S, low);
		hi = quickselect(sample + low + 1, S - low - 1, high - low - 1);
	}

	// One narrowing step over data without NaN: the rank is bracketed between
	// two values of a random sample of the data, and one pass counts what
	// lies below the bracket and gathers what lies in it. A step that misses
	// the rank (an unlucky sample) gathers nothing.
	struct Narrowed
	{
		int size, rank;
	};
	template <int S>
	static Narrowed narrow(const T *data, int size, int rank, const int margin, T *out, int capacity)
	{
		T sample[S];
		for (int i = 0; i < S; ++i) sample[i] = data[uint64_t(draw(i)) * uint32_t(size) >> 32];
		int centre = int(int64_t(rank) * S / size);
		T lo, hi;
		quantiles<S>(sample, std::max(centre - margin, 0), std::min(centre + margin, S - 1), lo, hi);
		Bracket b = bracket(data, size, lo, hi, out, capacity);
		if (b.inside <= capacity && rank >= b.below && rank < b.below + b.inside)
			return {b.inside, rank - b.below};
		return {0, 0};
	}

	// The median slope of many points in increasing x without storing all
	// their slopes: slopes of random pairs bracket it, one pass computes
	// every slope, counts what lies below the bracket and gathers what lies
	// in it, and a narrowing step and a selection finish on what was
	// gathered. Any exact selection gives the same value. False, with
	// nothing decided, for few points or other x, NaN in the sample or a
	// bracket that misses the median (about 0.3 % of fits: the margin is
	// three standard deviations of a sample quantile's rank, 3·√(S/4)); the
	// plain selection then decides.
	bool bracketed_median(const T *x, const T *y, int n, T &median)
	{
		if (n > N || n * (n - 1) / 2 <= 4 * sample_size) return false;
		bool increasing = true;
		for (int i = 1; i < n; ++i) increasing &= x[i - 1] < x[i];
		if (!increasing) return false;
		bool numbers = true;
		for (int i = 0; i < sample_size; ++i) {
			// Two 16-bit draws: a, and b among the other points. Both
			// differences only change sign when a and b change places.
			uint32_t r = draw(i);
			int a = int((r >> 16) * uint32_t(n) >> 16), b = int((r & 0xffff) * uint32_t(n - 1) >> 16);
			b += b >= a;
			T s = (y[b] - y[a]) / (x[b] - x[a]);
			numbers &= s == s;
			sample[i] = s;
		}
		if (!numbers) return false;
		constexpr int margin = 48;
		T lo, hi;
		quantiles<sample_size>(sample, sample_size / 2 - margin, sample_size / 2 + margin, lo, hi);
		std::copy(x, x + n, padded_x);
		std::copy(y, y + n, padded_y);
		std::fill(padded_x + n, padded_x + n + 3, T(0));
		std::fill(padded_y + n, padded_y + n + 3, std::numeric_limits<T>::quiet_NaN());
		Bracket total = slope_bracket(padded_x, padded_y, n, lo, hi, gather, gather_size);
		int rank = n * (n - 1) / 2 / 2 - total.below;
		if (total.inside > gather_size || rank < 0 || rank >= total.inside) return false;
		Narrowed second{};
		if (total.inside > 4 * 256) second = narrow<256>(gather, total.inside, rank, 24, closer, closer_size);
		median = second.size ? quickselect(closer, second.size, second.rank) : quickselect(gather, total.inside, rank);
		return true;
	}
};

}
