#pragma once

#include <algorithm>
#include <cmath>

namespace CODE {

// Soft cancellation decoder of the polar code of 2048 positions (x = u F^11,
// no bit reversal): the successive cancellation schedule, passing
// log-likelihood ratios both ways through the graph instead of decisions.
// Its output is what the code's constraints say about each code bit beyond
// the bit's own input, the extrinsic value an inner demodulator takes as its
// prior. The values each right subtree sent back are kept for the next
// sweep, so that every sweep refines the last; the CRC is not used, and a
// decision is left to the list decoder.
class PolarSoftDecoder
{
	static constexpr int N = 2048, LEVELS = 12;
	// A frozen bit is known to be 0.
	static constexpr float certain = 1e30f;

	float alpha[2 * N];
	float beta[LEVELS][N];
	const unsigned int *frozen = nullptr;

	// log(1 + e^-x) at x = 0, 1/16, 1/8, ... 16, beyond which it is below
	// 1e-7; interpolated linearly, it is off by less than 2e-4. The exact
	// rule's logarithms and exponentials took eight times as long.
	static constexpr int steps_per_unit = 16, table_size = 16 * steps_per_unit + 1;
	float softplus[table_size];

	float correction(float x) const
	{
		float t = x * steps_per_unit;
		if (!(t < table_size - 1)) return 0;
		int i = int(t);
		return softplus[i] + (t - float(i)) * (softplus[i + 1] - softplus[i]);
	}

	// The ratio of the parity of two bits, exactly up to the table's error:
	// min-sum's overconfidence turns the output below the code's threshold
	// into worse than nothing, where the exact rule still gives a little.
	float f(float a, float b) const
	{
		float x = std::abs(a), y = std::abs(b);
		float size = std::min(x, y) + correction(x + y) - correction(std::abs(x - y));
		return (a < 0) != (b < 0) ? -size : size;
	}

	bool all(int p, int n, bool is_frozen) const
	{
		for (int i = p; i < p + n; ++i)
			if (((frozen[i / 32] >> (i % 32)) & 1) != is_frozen) return false;
		return true;
	}

	// The node of 2^level positions from p: its input is alpha[n ... 2n - 1],
	// its output goes to beta[level][p ... p + n - 1].
	void node(int level, int p)
	{
		const int n = 1 << level, m = n / 2;
		float *out = beta[level] + p;
		if (all(p, n, true)) {
			std::fill(out, out + n, certain);
			return;
		}
		// Information bits without priors send nothing back.
		if (all(p, n, false)) {
			std::fill(out, out + n, 0.f);
			return;
		}
		const float *a = alpha + n, *b = alpha + n + m;
		float *left = beta[level - 1] + p, *right = beta[level - 1] + p + m;
		for (int i = 0; i < m; ++i) alpha[m + i] = f(a[i], b[i] + right[i]);
		node(level - 1, p);
		for (int i = 0; i < m; ++i) alpha[m + i] = b[i] + f(a[i], left[i]);
		node(level - 1, p + m);
		for (int i = 0; i < m; ++i) {
			out[i] = f(left[i], b[i] + right[i]);
			out[m + i] = right[i] + f(left[i], a[i]);
		}
	}

public:
	PolarSoftDecoder()
	{
		for (int i = 0; i < table_size; ++i) softplus[i] = std::log1p(std::exp(-float(i) / steps_per_unit));
	}

	// Forgets what earlier sweeps sent back; frozen: the code's table, one
	// bit per position, set where frozen.
	void reset(const unsigned int *table)
	{
		frozen = table;
		for (auto &level : beta) std::fill(level, level + N, 0.f);
	}

	// One sweep over the code's graph from the channel's log-likelihood
	// ratios (2048, positive for a 0 bit); writes the extrinsic ratios.
	void operator()(float *extrinsic, const float *channel)
	{
		std::copy(channel, channel + N, alpha + N);
		node(LEVELS - 1, 0);
		std::copy(beta[LEVELS - 1], beta[LEVELS - 1] + N, extrinsic);
	}
};

}
