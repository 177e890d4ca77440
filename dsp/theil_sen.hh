#pragma once

#include <algorithm>

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
	T temp[capacity];

	// NaN ranks above every number so that the selection always sees a
	// strict weak order; without NaN this is plain <.
	static bool less(T a, T b) { return a < b || (b != b && a == a); }

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
		int count = 0;
		for (int a = 0; a < n - 1 && count < capacity; ++a)
			for (int b = a + 1; b < n && count < capacity; ++b)
				if (x[b] != x[a])
					temp[count++] = (y[b] - y[a]) / (x[b] - x[a]);
		if (!count) {
			xint = yint = slope = 0;
			return;
		}
		std::nth_element(temp, temp + count / 2, temp + count, less);
		slope = temp[count / 2];
		count = std::min(n, capacity);
		for (int i = 0; i < count; ++i)
			temp[i] = y[i] - slope * x[i];
		std::nth_element(temp, temp + count / 2, temp + count, less);
		yint = temp[count / 2];
		xint = -yint / slope;
	}
};

}
