#pragma once

#include "dsp/bracket.hh"

namespace DSP {

// Counts the slopes (y[b] − y[a]) / (x[b] − x[a]) of all pairs a < b < n
// against [lo, hi] and gathers those inside, row after row, to out, as
// bracket() does with stored values: each slope is used while it is still
// in a register. x must increase strictly, so that every pair has a slope.
// x and y need 3 readable values past n, and those of y must be NaN; out
// needs room for capacity + 3 values.
template <typename T>
Bracket slope_bracket(const T *x, const T *y, int n, T lo, T hi, T *out, int capacity)
{
	Bracket r;
#if defined(__SSSE3__)
	if constexpr (std::is_same_v<T, float>) {
		// A row's last four lanes reach past n into NaN, which lies
		// neither below nor inside.
		const __m128 vlo = _mm_set1_ps(lo), vhi = _mm_set1_ps(hi);
		__m128i below = _mm_setzero_si128();
		for (int a = 0; a < n - 1; ++a) {
			const __m128 xa = _mm_set1_ps(x[a]), ya = _mm_set1_ps(y[a]);
			for (int b = a + 1; b < n; b += 4) {
				const __m128 dy = _mm_sub_ps(_mm_loadu_ps(y + b), ya);
				bracket_lanes(_mm_div_ps(dy, _mm_sub_ps(_mm_loadu_ps(x + b), xa)), vlo, vhi, below, out, r, capacity);
			}
		}
		r.below = lane_sum(below);
		return r;
	}
#endif
	for (int a = 0; a < n - 1; ++a) {
		for (int b = a + 1; b < n; ++b) {
			T v = (y[b] - y[a]) / (x[b] - x[a]);
			r.below += v < lo;
			if (r.inside < capacity) out[r.inside] = v;
			r.inside += (v >= lo) & (v <= hi);
		}
	}
	return r;
}

}
