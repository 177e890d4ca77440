#pragma once

#include "src/simd_isa.hh"

#include <algorithm>
#include <numeric>

namespace CODE {

// Leaves of the list decoder: 16 list paths in the 16 lanes of VEC, one
// signed 32-bit path metric per lane (lower is better). A lane map m says
// that new lane k descends from old lane m[k].
template <typename VEC, int M>
struct PolarListNode
{
	using MAP = SIMD<unsigned char, VEC::SIZE, typename VEC::isa>;
	static constexpr int LANES = VEC::SIZE;
	static constexpr int N = 1 << M;

	// A node of N frozen positions whose input is soft[N ... 2N - 1]: every
	// path's code bits are zero, and each value that says otherwise costs its
	// magnitude (128 for -128).
	static void rate0(int *metric, VEC *hard, const VEC *soft)
	{
		int cost[LANES] = {};
		for (int i = 0; i < N; ++i) {
			hard[i] = VEC::dup(1);
			for (int k = 0; k < LANES; ++k) cost[k] -= std::min<int>(soft[N + i].v[k], 0);
		}
		for (int k = 0; k < LANES; ++k) metric[k] += cost[k];
	}

	// The information leaf: each path continues with bit 0 and with bit 1, and
	// the 16 continuations of smallest metric survive. Which of equal metrics
	// survive, and in which lane, follows std::nth_element and is part of the
	// decoder's deterministic result.
	static MAP rate1(int *metric, VEC *mesg, MAP *maps, int *count, VEC *hard, VEC *soft)
		requires(M == 0)
	{
		int cand[2 * LANES];
		for (int k = 0; k < LANES; ++k) {
			int L = soft[1].v[k];
			cand[k] = metric[k] - std::min(L, 0);
			cand[LANES + k] = metric[k] + std::max(L, 0);
		}
		int perm[2 * LANES];
		std::iota(perm, perm + 2 * LANES, 0);
		std::nth_element(perm, perm + LANES, perm + 2 * LANES,
				 [&cand](int a, int b) { return cand[a] < cand[b]; });
		MAP map;
		VEC bits;
		for (int k = 0; k < LANES; ++k) {
			int c = perm[k];
			metric[k] = cand[c];
			map.v[k] = c % LANES;
			bits.v[k] = c < LANES ? 1 : -1;
		}
		mesg[*count] = bits;
		maps[*count] = map;
		++*count;
		hard[0] = bits;
		return map;
	}
};

}
