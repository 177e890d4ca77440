#pragma once

#include <algorithm>
#include <bit>

namespace DSP {

// The value of rank k (from 0) among a[0 … n − 1] in ascending order, for
// data without NaN; reorders a so that nothing before a[k] is above it and
// nothing after it below. Partitions without a branch per element: a
// library selection mispredicts about every other comparison on data in
// random order, which costs more than the comparisons themselves.
template <typename T>
T quickselect(T *a, int n, int k)
{
	int first = 0, last = n;
	for (int depth = 2 * std::bit_width(unsigned(n)); last - first > 16; --depth) {
		// Many equal values could keep the cuts lopsided; the depth
		// limit hands such data to the library's guaranteed bound.
		if (!depth) break;
		T x = a[first], y = a[first + (last - first) / 2], z = a[last - 1];
		T p = std::max(std::min(x, y), std::min(std::max(x, y), z));
		// What lies below p to the front; a cut that leaves p the least
		// value moves p's equals to the front instead, so each round
		// removes at least p itself.
		int cut = first;
		for (int i = first; i < last; ++i) {
			T v = a[i];
			a[i] = a[cut];
			a[cut] = v;
			cut += v < p;
		}
		if (cut == first) {
			for (int i = first; i < last; ++i) {
				T v = a[i];
				a[i] = a[cut];
				a[cut] = v;
				cut += !(p < v);
			}
			if (k < cut) return a[k];
			first = cut;
		} else if (k < cut) {
			last = cut;
		} else {
			first = cut;
		}
	}
	std::nth_element(a + first, a + k, a + last);
	return a[k];
}

}
