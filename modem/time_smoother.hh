#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>

#include "dsp/complex.hh"

// Smooths channel estimates of a burst's symbols in time, each carrier on
// its own, looking forward and backward: the Wiener smoother of a fading
// with a Gaussian Doppler spectrum, whose correlation between symbols d
// apart is rho^(d·d). Fading that is slow against the symbols keeps most of
// the noise out; fading of a hertz, where neighbours 180 ms apart still
// agree to 0.85, keeps it from lagging as a one-way recursion does.
//
// The widths come from the estimates themselves: rho and the noise are the
// likeliest on a grid. The phase that a frequency offset turns per symbol
// and the slope across carriers a clock offset adds are taken out first,
// so that only the fading is left to smooth.
template <int CARRIERS, int MAX_SYMBOLS>
class TimeSmoother
{
	typedef DSP::Complex<float> cmplx;

public:
	// in[s][k], s < count >= 3: estimates of the channel; skip[k]: carriers
	// without one. Writes the smoothed estimates to out[s][k]. With
	// M > 1, each carrier's estimates from the second on may also be turned
	// by multiples of 2π/M, as far as that makes them a likelier fading;
	// turns[s][k] tells how often. floor: the noise power of an estimate
	// as far as it is known beforehand. The channel turns by turn +
	// tilt·(k - CARRIERS / 2) radians per symbol on carrier k besides the
	// fading, as a frequency and a clock offset make it: measured on the
	// estimates, a fading of two paths would pass for a tilt.
	void operator()(cmplx (*out)[CARRIERS], const cmplx (*in)[CARRIERS], int count, const bool *skip, int M,
			float floor, float turn, float tilt)
	{
		phase = turn, slope = tilt;
		for (int s = 0; s < count; ++s)
			for (int k = 0; k < CARRIERS; ++k) {
				flat[s][k] = skip[k] ? cmplx() : in[s][k];
				turns[s][k] = 0;
			}
		// The slip search sees the estimates with the drift taken out or
		// as they are, whichever is the likelier fading: a drift found
		// under fading may be one that the fading faked.
		float kept = M > 1 ? likeliest(count, skip, M, floor) : 0, kept_rho = rho;
		derotate(count, -1);
		if (M > 1) {
			float taken = likeliest(count, skip, M, floor);
			if (kept < taken) derotate(count, 1), rho = kept_rho;
			weigh(count);
			for (int k = 0; k < CARRIERS; ++k)
				if (!skip[k]) untwist(k, count, M, true);
			if (kept < taken) derotate(count, -1);
		}
		// What common turn the given one missed, the fading's own mean
		// Doppler shift among it, is measured after the slips are gone.
		cmplx step[CARRIERS];
		for (int k = 0; k < CARRIERS; ++k) {
			step[k] = cmplx();
			for (int s = 0; s + 1 < count; ++s) step[k] += flat[s + 1][k] * conj(flat[s][k]);
		}
		cmplx across;
		for (int k = 1; k < CARRIERS; ++k) across += step[k] * conj(step[k - 1]);
		float rest_slope = arg(across);
		cmplx common;
		for (int k = 0; k < CARRIERS; ++k) common += step[k] * rotation(-rest_slope * float(k - CARRIERS / 2));
		float rest = arg(common);
		for (int s = 0; s < count; ++s)
			for (int k = 0; k < CARRIERS; ++k) flat[s][k] *= rotation(-float(s) * (rest + rest_slope * float(k - CARRIERS / 2)));
		phase += rest, slope += rest_slope;
		fit(count, skip, floor);
		weigh(count);
		for (int s = 0; s < count; ++s)
			for (int k = 0; k < CARRIERS; ++k) {
				cmplx sum;
				for (int j = 0; j < count; ++j) sum += flat[j][k] * weights[s][j];
				out[s][k] = sum * drift(s, k);
			}
	}

	int turns[MAX_SYMBOLS][CARRIERS];

	// Correlation of neighbouring symbols, and signal and noise power per
	// estimate, as measured by the last call.
	float rho = 1, power = 0, noise = 0;

private:
	float phase = 0, slope = 0;
	// Correlations of neighbouring symbols tried: from a fading of 0.1 Hz
	// to one of 1.3 Hz (Doppler spreads) at 180 ms per symbol.
	static constexpr float grid[] = {0.995f, 0.98f, 0.95f, 0.9f, 0.85f, 0.78f, 0.7f, 0.6f};

	cmplx flat[MAX_SYMBOLS][CARRIERS];
	float weights[MAX_SYMBOLS][MAX_SYMBOLS], inverse[MAX_SYMBOLS][MAX_SYMBOLS];

	static cmplx rotation(float angle) { return {std::cos(angle), std::sin(angle)}; }

	cmplx drift(int s, int k) const { return rotation(float(s) * (phase + slope * float(k - CARRIERS / 2))); }

	// The correlation and noise under which the estimates are likeliest,
	// from grids: moments of five or nine symbols are too few to give
	// them, and a fading whose paths turn each their own way fits no
	// formula that moments would.
	void fit(int count, const bool *skip, float floor)
	{
		static constexpr float shares[] = {0.02f, 0.05f, 0.1f, 0.2f, 0.4f, 0.6f};
		const float level = mean_level(count, skip);
		int carriers = 0;
		for (int k = 0; k < CARRIERS; ++k) carriers += !skip[k];
		float least = FLT_MAX, best_rho = grid[0], best_noise = level;
		for (float r : grid)
			for (float share : shares) {
				rho = r;
				noise = std::max(share * level, floor) + FLT_MIN;
				power = std::max(level - noise, 0.f);
				float total = float(carriers) * weigh(count);
				for (int k = 0; k < CARRIERS; ++k)
					if (!skip[k]) total += quadratic(k, count);
				if (total < least) least = total, best_rho = r, best_noise = noise;
			}
		rho = best_rho, noise = best_noise, power = std::max(level - noise, 0.f);
	}

	float mean_level(int count, const bool *skip) const
	{
		float level = 0;
		int n = 0;
		for (int k = 0; k < CARRIERS; ++k)
			if (!skip[k])
				for (int s = 0; s < count; ++s) level += norm(flat[s][k]), ++n;
		return n ? level / float(n) : 0;
	}

	// z^H (R + noise)^-1 z of carrier k's estimates.
	float quadratic(int k, int count) const
	{
		float sum = 0;
		for (int i = 0; i < count; ++i) {
			sum += inverse[i][i] * norm(flat[i][k]);
			for (int j = 0; j < i; ++j) sum += 2 * inverse[i][j] * (conj(flat[i][k]) * flat[j][k]).re;
		}
		return sum;
	}

	// A decision that a fade turned past the edge of its decision region
	// turns the carrier's estimates from that symbol on by a multiple of
	// 2π/M, which spoils any correlation measured from them. So the fading
	// is taken from a grid of correlations instead, the one under which
	// the estimates, turned back as well as each allows, are likeliest:
	// sets rho to it and returns the estimates' least cost under it.
	float likeliest(int count, const bool *skip, int M, float floor)
	{
		const float level = mean_level(count, skip);
		int carriers = 0;
		for (int k = 0; k < CARRIERS; ++k) carriers += !skip[k];
		// What the model leaves out (the estimates' own bias across
		// carriers, a fading that is not quite Gaussian) keeps the noise
		// from vanishing at high signal-to-noise ratios.
		noise = std::max(floor, 0.01f * level) + FLT_MIN;
		power = level;
		float least = FLT_MAX, chosen = grid[0];
		for (float r : grid) {
			rho = r;
			float total = float(carriers) * weigh(count);
			for (int k = 0; k < CARRIERS; ++k)
				if (!skip[k]) total += untwist(k, count, M, false);
			if (total < least) least = total, chosen = r;
		}
		rho = chosen;
		return least;
	}

	// Takes the drift out (sign -1) or puts it back (+1).
	void derotate(int count, int sign)
	{
		for (int s = 0; s < count; ++s)
			for (int k = 0; k < CARRIERS; ++k) flat[s][k] *= drift(sign * s, k);
	}

	// The turns of carrier k that make z^H (R + noise)^-1 z least, searched
	// depth-first over all M^(count - 1); returns the least, and applies
	// the turns if asked to.
	float untwist(int k, int count, int M, bool apply)
	{
		float cost[MAX_SYMBOLS][MAX_SYMBOLS][8], diagonal = 0;
		for (int i = 0; i < count; ++i) {
			diagonal += inverse[i][i] * norm(flat[i][k]);
			for (int j = 0; j < i; ++j) {
				cmplx p = conj(flat[i][k]) * flat[j][k];
				for (int d = 0; d < M; ++d)
					cost[i][j][d] = 2 * inverse[i][j] * (p * rotation(2 * std::numbers::pi_v<float> * d / M)).re;
			}
		}
		// Iterative, so that the depth is bounded where the compiler sees it:
		// sum[i] is the cost of the turns of the symbols before i.
		int r[MAX_SYMBOLS] = {}, best[MAX_SYMBOLS] = {};
		float sum[MAX_SYMBOLS] = {}, least = count > 1 ? FLT_MAX : 0;
		for (int i = 1; i > 0 && i < count && count <= MAX_SYMBOLS;) {
			float more = sum[i];
			for (int j = 0; j < i; ++j) more += cost[i][j][(r[j] - r[i] + M) % M];
			if (i + 1 < count) {
				sum[++i] = more, r[i] = 0;
				continue;
			}
			if (more < least) least = more, std::copy(r, r + count, best);
			while (i > 0 && ++r[i] == M) r[i--] = 0;
		}
		if (apply)
			for (int s = 1; s < count; ++s) {
				turns[s][k] = best[s];
				flat[s][k] *= rotation(2 * std::numbers::pi_v<float> * best[s] / M);
			}
		return least + diagonal;
	}

	// The Wiener weights: correlation times the inverse of correlation plus
	// noise, by Gauss-Jordan elimination on count² values; returns the
	// logarithm of the determinant of correlation plus noise.
	float weigh(int count)
	{
		float log_det = 0;
		float a[MAX_SYMBOLS][2 * MAX_SYMBOLS];
		for (int i = 0; i < count; ++i)
			for (int j = 0; j < count; ++j) {
				float r = power * std::pow(rho, float((i - j) * (i - j)));
				a[i][j] = r + (i == j ? noise : 0);
				a[i][count + j] = i == j;
			}
		for (int c = 0; c < count; ++c) {
			float pivot = a[c][c];
			log_det += std::log(pivot);
			for (int j = 0; j < 2 * count; ++j) a[c][j] /= pivot;
			for (int i = 0; i < count; ++i) {
				if (i == c) continue;
				float f = a[i][c];
				for (int j = 0; j < 2 * count; ++j) a[i][j] -= f * a[c][j];
			}
		}
		for (int i = 0; i < count; ++i)
			for (int j = 0; j < count; ++j) inverse[i][j] = a[i][count + j];
		for (int s = 0; s < count; ++s)
			for (int j = 0; j < count; ++j) {
				float sum = 0;
				for (int i = 0; i < count; ++i) sum += power * std::pow(rho, float((s - i) * (s - i))) * a[i][count + j];
				weights[s][j] = sum;
			}
		return log_det;
	}
};
