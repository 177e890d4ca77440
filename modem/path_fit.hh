#pragma once

#include <cmath>
#include <utility>

#include "dsp/complex.hh"

// The channel across a symbol's carriers as a few paths of their own delay:
// carrier k sees the sum over paths of gain · e^(−i·ω·(k − N/2)), ω the
// path's delay in radians per carrier. Two Watterson paths are two such
// terms, so three gains fitted to N carriers take the channel with far
// less noise than a window average, and follow the ripple an echo puts
// across the band instead of flattening it.
template <int N, int PATHS>
class PathFit
{
	typedef DSP::Complex<float> cmplx;

public:
	static constexpr int paths = PATHS;
	// Delays searched: ±0.4 radians per carrier is ±10 ms at 6.25 Hz
	// spacing, the guard interval; the grid is an eighth of the width
	// 2π/N of a path's peak.
	static constexpr float reach = 0.4f, grid = 0.003f;

	// Picks the paths, strongest first, from in (a channel measured on each
	// carrier, times its weight w): each delay the one whose carriers turn
	// the most of what the paths before it leave unexplained. Leaves the
	// paths' gains as fit() gives them.
	void find(cmplx *gains, const cmplx *in, const float *w)
	{
		cmplx left[N];
		for (int k = 0; k < N; ++k) left[k] = in[k];
		auto power = [&left](float delay) {
			cmplx sum, phasor = turn(delay, 0), step = turn(delay, N / 2 + 1);
			for (int k = 0; k < N; ++k) sum += left[k] * phasor, phasor *= step;
			return norm(sum);
		};
		for (count = 0; count < PATHS;) {
			float best = -1, delay = 0;
			for (float o = -reach; o <= reach; o += grid) {
				float p = power(o);
				if (p > best) best = p, delay = o;
			}
			// The peak between the grid's points, from the parabola through
			// the three around it: a delay off by a thousandth of a radian
			// per carrier turns the band's edges by a tenth of a radian.
			float before = power(delay - grid), after = power(delay + grid), curve = before - 2 * best + after;
			if (curve < 0) delay += 0.5f * grid * (before - after) / curve;
			for (int k = 0; k < N; ++k) steering[count][k] = turn(-delay, k);
			++count;
			fit(gains, in, w);
			channel(left, gains);
			for (int k = 0; k < N; ++k) left[k] = in[k] - w[k] * left[k];
		}
	}

	// The paths' gains that fit in (the channel times w on each carrier,
	// where w is the power of what was sent and its noise weight) best in
	// the least squares, each carrier's error weighed by 1/w.
	void fit(cmplx *gains, const cmplx *in, const float *w) const
	{
		cmplx a[PATHS][PATHS + 1] = {};
		for (int k = 0; k < N; ++k)
			for (int i = 0; i < count; ++i) {
				cmplx back = conj(steering[i][k]);
				for (int j = 0; j < count; ++j) a[i][j] += back * steering[j][k] * w[k];
				a[i][count] += back * in[k];
			}
		// Paths closer than the band can tell apart stay solvable.
		float ridge = 0;
		for (int i = 0; i < count; ++i) ridge += a[i][i].re;
		ridge = ridge / float(count) * 1e-3f + 1e-30f;
		for (int i = 0; i < count; ++i) a[i][i] += cmplx(ridge, 0);
		solve(a, count);
		for (int i = 0; i < count; ++i) gains[i] = a[i][count];
	}

	// The channel on every carrier under the paths' gains.
	void channel(cmplx *out, const cmplx *gains) const
	{
		for (int k = 0; k < N; ++k) {
			out[k] = cmplx();
			for (int i = 0; i < count; ++i) out[k] += gains[i] * steering[i][k];
		}
	}

	int found() const { return count; }
	void forget() { count = 0; }

private:
	cmplx steering[PATHS][N];
	int count = 0;

	static cmplx turn(float delay, int k)
	{
		float angle = delay * float(k - N / 2);
		return {std::cos(angle), std::sin(angle)};
	}

	// Gauss-Jordan with partial pivoting on n equations, the right-hand side
	// in column n, which holds the solution after.
	static void solve(cmplx (*a)[PATHS + 1], int n)
	{
		for (int c = 0; c < n; ++c) {
			int pivot = c;
			for (int r = c + 1; r < n; ++r)
				if (norm(a[r][c]) > norm(a[pivot][c])) pivot = r;
			for (int j = 0; j <= n; ++j) std::swap(a[c][j], a[pivot][j]);
			cmplx inverse = conj(a[c][c]) / norm(a[c][c]);
			for (int j = c; j <= n; ++j) a[c][j] = a[c][j] * inverse;
			for (int r = 0; r < n; ++r) {
				if (r == c) continue;
				cmplx f = a[r][c];
				for (int j = c; j <= n; ++j) a[r][j] -= f * a[c][j];
			}
		}
	}
};
