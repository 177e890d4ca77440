#pragma once

#include <cmath>
#include <vector>

#include "tools/sim/window.hh"

// Band-limited value between samples: a Blackman-windowed sinc of 2·HALF
// taps, tabulated at PHASES fractional offsets and interpolated linearly
// between neighbouring offsets. Samples outside the sequence count as 0.
class Interpolator
{
	static constexpr int HALF = 16, PHASES = 512;
	double table[PHASES + 1][2 * HALF];

public:
	Interpolator()
	{
		for (int p = 0; p <= PHASES; ++p) {
			double frac = double(p) / PHASES;
			for (int k = 0; k < 2 * HALF; ++k) {
				double t = k - (HALF - 1) - frac; // distance of tap k from the wanted point
				double sinc = t == 0 ? 1 : std::sin(M_PI * t) / (M_PI * t);
				table[p][k] = sinc * blackman(t / HALF);
			}
		}
	}

	// x at the fractional index t.
	double operator()(const std::vector<double> &x, double t) const
	{
		double whole = std::floor(t), pos = (t - whole) * PHASES;
		int p = int(pos), first = int(whole) - (HALF - 1);
		double w = pos - p, sum = 0;
		for (int k = 0; k < 2 * HALF; ++k) {
			int i = first + k;
			if (i < 0 || i >= int(x.size())) continue;
			sum += x[i] * ((1 - w) * table[p][k] + w * table[p + 1][k]);
		}
		return sum;
	}
};

// The sequence as taken by a sample clock ppm parts per million slower than
// the one that made it: output sample n is input sample n·(1 + ppm/10⁶), so
// every frequency rises by that factor and the output is that much shorter.
inline std::vector<double> resample(const std::vector<double> &x, double ppm)
{
	double step = 1 + ppm * 1e-6;
	Interpolator interpolate;
	std::vector<double> out;
	for (long n = 0; n * step <= double(x.size()) - 1; ++n) out.push_back(interpolate(x, n * step));
	return out;
}
