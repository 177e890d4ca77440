#pragma once

#include <algorithm>
#include <vector>

// Mean power of the non-silent part of x. Blocks of 10 ms whose mean power is
// at least 1/1000 of the strongest block's count as signal; each run of such
// blocks is then trimmed at both ends to its first and last sample above that
// same level, so that a burst's partly filled edge blocks do not dilute the
// measure. Returns 0 for a signal that is silent throughout.
inline double signal_power(const std::vector<double> &x, int rate)
{
	long n = x.size(), block = std::max(1, rate / 100), blocks = (n + block - 1) / block;
	std::vector<double> power(blocks);
	for (long i = 0; i < n; ++i) power[i / block] += x[i] * x[i];
	for (long b = 0; b < blocks; ++b) power[b] /= std::min(block, n - b * block);
	double peak = blocks ? *std::max_element(power.begin(), power.end()) : 0;
	if (peak <= 0) return 0;
	double floor = peak * 1e-3, energy = 0;
	long count = 0;
	for (long b = 0; b < blocks;) {
		if (power[b] < floor) {
			++b;
			continue;
		}
		long e = b;
		while (e < blocks && power[e] >= floor) ++e;
		long first = b * block, last = std::min(n, e * block) - 1;
		while (first < last && x[first] * x[first] < floor) ++first;
		while (last > first && x[last] * x[last] < floor) --last;
		for (long i = first; i <= last; ++i) energy += x[i] * x[i];
		count += last - first + 1;
		b = e;
	}
	return energy / count;
}
