#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

#if defined(__SSSE3__)
#include <immintrin.h>
#endif

namespace DSP {

// What one pass over values learns about a bracket [lo, hi]: how many lie
// below it and how many inside it. NaN lies in neither.
struct Bracket
{
	int below = 0, inside = 0;
};

#if defined(__SSSE3__)
// Byte shuffles that pack the lanes of a four-lane mask to the front.
struct PackingTable
{
	alignas(16) uint8_t control[16][16];

	constexpr PackingTable() : control{}
	{
		for (int mask = 0; mask < 16; ++mask) {
			int slot = 0;
			for (int lane = 0; lane < 4; ++lane) {
				if (!(mask >> lane & 1)) continue;
				for (int b = 0; b < 4; ++b) control[mask][4 * slot + b] = uint8_t(4 * lane + b);
				++slot;
			}
			for (int b = 4 * slot; b < 16; ++b) control[mask][b] = 0x80;
		}
	}
};

// Four values against [vlo, vhi] with no branch per value: adds one to the
// lanes of below that lie below, and packs those inside to the front of one
// store at out + r.inside, as long as r.inside has not reached capacity.
inline void bracket_lanes(__m128 v, __m128 vlo, __m128 vhi, __m128i &below, float *out, Bracket &r, int capacity)
{
	static constexpr PackingTable packing;
	below = _mm_sub_epi32(below, _mm_castps_si128(_mm_cmplt_ps(v, vlo)));
	int mask = _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(v, vlo), _mm_cmple_ps(v, vhi)));
	if (r.inside < capacity) {
		auto control = reinterpret_cast<const __m128i *>(packing.control[mask]);
		__m128i packed = _mm_shuffle_epi8(_mm_castps_si128(v), _mm_load_si128(control));
		_mm_storeu_si128(reinterpret_cast<__m128i *>(out + r.inside), packed);
	}
	r.inside += std::popcount(unsigned(mask));
}

inline int lane_sum(__m128i v)
{
	alignas(16) int32_t lanes[4];
	_mm_store_si128(reinterpret_cast<__m128i *>(lanes), v);
	return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}
#endif

// Counts values[0 … n − 1] against [lo, hi] and copies those inside, in
// order, to out. out needs room for capacity + 3 values: four are stored at
// a time. When more than capacity lie inside, the counts stay exact and what
// out holds is unspecified.
template <typename T>
Bracket bracket(const T *values, int n, T lo, T hi, T *out, int capacity)
{
	Bracket r;
	int i = 0;
#if defined(__SSSE3__)
	if constexpr (std::is_same_v<T, float>) {
		const __m128 vlo = _mm_set1_ps(lo), vhi = _mm_set1_ps(hi);
		__m128i below = _mm_setzero_si128();
		for (; i + 4 <= n; i += 4) bracket_lanes(_mm_loadu_ps(values + i), vlo, vhi, below, out, r, capacity);
		r.below = lane_sum(below);
	}
#endif
	for (; i < n; ++i) {
		T v = values[i];
		r.below += v < lo;
		if (r.inside < capacity) out[r.inside] = v;
		r.inside += (v >= lo) & (v <= hi);
	}
	return r;
}

}
