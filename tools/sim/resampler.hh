#pragma once

#include <numbers>
#include <cmath>
#include <vector>

#include "tools/sim/window.hh"

// Band-limited value between samples: a Blackman-windowed sinc of 2·HALF
// taps, tabulated at PHASES fractional offsets and interpolated linearly
// between neighbouring offsets.
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
				double sinc = t == 0 ? 1 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
				table[p][k] = sinc * blackman(t / HALF);
			}
		}
	}

	static constexpr int reach = HALF; // samples needed after floor(t)

	// x at the fractional index t, x holding samples base to base +
	// x.size() - 1 and every sample after them counting as 0; those before
	// floor(t) - HALF + 1 are not needed.
	double operator()(const std::vector<double> &x, long base, double t) const
	{
		double whole = std::floor(t), pos = (t - whole) * PHASES;
		int p = int(pos);
		long first = long(whole) - (HALF - 1);
		double w = pos - p, sum = 0;
		for (int k = 0; k < 2 * HALF; ++k) {
			long i = first + k - base;
			if (i < 0 || i >= long(x.size())) continue;
			sum += x[i] * ((1 - w) * table[p][k] + w * table[p + 1][k]);
		}
		return sum;
	}
};

// A stream as taken by a sample clock ppm parts per million slower than the
// one that made it: output sample n is input sample n·(1 + ppm/10⁶), so
// every frequency rises by that factor and the output is that much shorter.
// Samples before the first count as 0; the output ends at the last input
// sample.
class ClockOffset
{
	double step;
	Interpolator interpolate;
	std::vector<double> held; // input from sample base on
	long base = 0, n = 0;

	long received() const { return base + long(held.size()); }

public:
	explicit ClockOffset(double ppm) : step(1 + ppm * 1e-6) {}

	template <typename Out>
	void push(double x, Out &&out)
	{
		held.push_back(x);
		for (; long(std::floor(n * step)) + Interpolator::reach < received(); ++n) out(interpolate(held, base, n * step));
		// Drop what no later output reaches, a few thousand at a time.
		long needed = long(std::floor(n * step)) - Interpolator::reach;
		if (needed - base > 4096) {
			held.erase(held.begin(), held.begin() + (needed - base));
			base = needed;
		}
	}

	template <typename Out>
	void finish(Out &&out)
	{
		for (; n * step <= double(received()) - 1; ++n) out(interpolate(held, base, n * step));
	}
};
