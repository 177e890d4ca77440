#pragma once

#include <numbers>
#include <cmath>
#include <vector>

#include "dsp/complex.hh"
#include "tools/sim/window.hh"

// Analytic signal x + i·H{x} of a real stream, aligned with it in time. The
// Hilbert transformer is the ideal one, 2/(πk) at odd offsets k, cut to
// |k| ≤ half by a Blackman window: its transition bands at 0 Hz and at half
// the rate are about 3·rate/half wide. The value for a sample comes out
// once the half samples after it have come in (or the input has ended);
// samples before the first and after the last count as 0.
class Analytic
{
	int half, size; // size: the 2·half + 1 samples one output needs
	std::vector<double> taps;
	// The last size samples, each written twice (at i and i + size), so
	// that they always lie in one piece, oldest first, from newest + 1.
	std::vector<double> ring;
	int newest = 0;
	long taken = 0, given = 0;

	// Out of line: inlined into a program's main loop, the sum went through
	// memory at every tap and took three times as long.
	[[gnu::noinline]] double quadrature(const double *centre) const
	{
		double im = 0;
		for (int k = 1; k <= half; k += 2) im += taps[k] * (centre[-k] - centre[k]);
		return im;
	}

public:
	explicit Analytic(int half) : half(half), size(2 * half + 1), taps(half + 1), ring(2 * size)
	{
		for (int k = 1; k <= half; k += 2) taps[k] = 2 / (std::numbers::pi * k) * blackman(double(k) / (half + 1));
	}

	template <typename Out>
	void push(double x, Out &&out)
	{
		newest = (newest + 1) % size;
		ring[newest] = ring[newest + size] = x;
		if (++taken <= half) return;
		const double *centre = ring.data() + newest + 1 + half;
		out(DSP::Complex<double>(*centre, quadrature(centre)));
		++given;
	}

	template <typename Out>
	void finish(Out &&out)
	{
		for (long end = taken; given < end;) push(0, out);
	}
};
