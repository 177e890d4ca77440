#pragma once

#include "code/introselect.hh"
#include "code/simd_isa.hh"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <type_traits>

namespace CODE {

// Leaves of the list decoder: the list's paths in the lanes of VEC, one
// signed 32-bit path metric per lane (lower is better). A lane map m says
// that new lane k descends from old lane m[k].
template <typename VEC, int M>
struct PolarListNode
{
	using MAP = SIMD<unsigned char, VEC::SIZE, typename VEC::isa>;
	static constexpr int LANES = VEC::SIZE;
	static constexpr int N = 1 << M;
	static_assert(std::has_single_bit(unsigned(LANES)));
	// Bits of a candidate number, 0 ... 2 LANES - 1.
	static constexpr int CAND = std::bit_width(unsigned(LANES));

	// A node of N frozen positions whose input is soft[N ... 2N - 1]: every
	// path's code bits are zero, and each value that says otherwise costs its
	// magnitude (the type's minimum its own).
	static void rate0(int *metric, VEC *hard, const VEC *soft)
	{
		int cost[LANES] = {};
		for (int i = 0; i < N; ++i) {
			hard[i] = VEC::dup(1);
			typename VEC::value_type L[LANES];
			soft[N + i].store(L);
			for (int k = 0; k < LANES; ++k) cost[k] -= std::min<int>(L[k], 0);
		}
		for (int k = 0; k < LANES; ++k) metric[k] += cost[k];
	}

	// The information leaf: each path continues with bit 0 and with bit 1, and
	// the LANES continuations of smallest metric survive. Which of equal
	// metrics survive, and in which lane, is part of the decoder's
	// deterministic result. For the list of 16: candidates 0 ... 31 partially
	// ordered by metric with the moves of libstdc++'s std::nth_element at
	// position 16, new lane k taking the candidate at position k; introselect
	// makes those moves on every platform and without the unpredictable
	// branch per comparison. Longer lists, which only the retries of faded
	// bursts run, keep the candidates of smallest metric and then number,
	// in that order.
	static MAP rate1(int *metric, VEC *mesg, MAP *maps, int *count, VEC *hard, VEC *soft)
		requires(M == 0)
	{
		// Metric above the candidate number in one integer: the selection
		// compares metrics only, so it makes the same moves as over candidate
		// numbers with an indirect comparison, without the loads. Metrics of
		// 8-bit values stay below 1000 + 2048 * 128, far from overflowing 26
		// bits; those of 16-bit values, below 258000 + 2048 * 32768, take 27,
		// and 64-bit candidates, as do longer lists' numbers.
		using Packed = std::conditional_t<sizeof(typename VEC::value_type) == 1 && CAND == 5, int, int64_t>;
		typename VEC::value_type L[LANES];
		soft[1].store(L);
		Packed cand[2 * LANES];
		for (int k = 0; k < LANES; ++k) {
			cand[k] = Packed(metric[k] - std::min<int>(L[k], 0)) << CAND | k;
			cand[LANES + k] = Packed(metric[k] + std::max<int>(L[k], 0)) << CAND | (LANES + k);
		}
		if constexpr (LANES == 16)
			introselect(cand, LANES, [](Packed a, Packed b) { return a >> CAND < b >> CAND; });
		else
			std::partial_sort(cand, cand + LANES, cand + 2 * LANES);
		unsigned char lanes[LANES];
		typename VEC::value_type decisions[LANES];
		for (int k = 0; k < LANES; ++k) {
			metric[k] = int(cand[k] >> CAND);
			lanes[k] = cand[k] & (LANES - 1);
			decisions[k] = 1 - 2 * (cand[k] >> (CAND - 1) & 1);
		}
		MAP map = MAP::load(lanes);
		VEC bits = VEC::load(decisions);
		mesg[*count] = bits;
		maps[*count] = map;
		++*count;
		hard[0] = bits;
		return map;
	}
};

}
