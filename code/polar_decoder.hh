#pragma once

#include "code/bits.hh"
#include "code/crc.hh"
#include "code/polar_crc.hh"
#include "code/polar_hard_path.hh"
#include "code/polar_list_tree.hh"
#include "code/simd.hh"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace CODE {

// CRC-aided successive cancellation list decoder, list of LANES (16 by
// default), for the systematic polar code of 2048 positions whose K payload
// bits are followed by their CRC-32 on the information positions. The paths
// live in the lanes of one vector; paths are renumbered, never copied. Soft
// values are signed char, the receiver's, or int16_t, for values whose range
// 8 bits would clip: under fading the strong carriers' values stand far
// above the weak ones', and the 8-bit sums saturate.
template <typename TYPE, typename ISA = NativeISA, int LANES = 16>
class PolarDecoder
{
	static_assert(std::is_same_v<TYPE, signed char> || std::is_same_v<TYPE, int16_t>);
	using VEC = SIMD<TYPE, LANES, ISA>;
	using MAP = SIMD<unsigned char, LANES, ISA>;
	using TREE = PolarListTree<VEC, 10>;
	static constexpr int N = 2048, MAX_INFO = 1392;
	static constexpr bool narrow = sizeof(TYPE) == 1;
	struct NoHardPath
	{
	};

	CRC<unsigned int> crc{polar_crc_polynomial};
	VEC soft[2 * N];
	VEC hard[N];
	MAP maps[N];
	VEC mesg[MAX_INFO];
	VEC codeword[N];
	[[no_unique_address]] std::conditional_t<narrow, PolarHardPath<ISA>, NoHardPath> hard_path;
	int best_lane = 0;
	int path_metric[LANES] = {};

	// Calls f(position, k) for the k-th information position, k = 0, 1, ...
	// Walks set bits rather than testing every position: the frozen pattern
	// is irregular enough to defeat branch prediction.
	template <typename F>
	static void for_each_information_position(const unsigned int *frozen, F f)
	{
		for (int w = 0, k = 0; w < N / 32; ++w)
			for (unsigned int info = ~frozen[w]; info; info &= info - 1)
				f(32 * w + std::countr_zero(info), k++);
	}

	void reencode(const unsigned int *frozen)
	{
		for (int j = 0; j < N; ++j) codeword[j] = VEC::dup(1);
		for_each_information_position(frozen, [this](int j, int k) { codeword[j] = mesg[k]; });
		// The stages of the transform commute; doing them three and then two
		// at a time saves loads and stores.
		for (int b = 0; b < N; b += 8) {
			VEC *c = codeword + b;
			for (int i = 0; i < 8; i += 2) c[i] = polar_xor(c[i], c[i + 1]);
			for (int i : {0, 1, 4, 5}) c[i] = polar_xor(c[i], c[i + 2]);
			for (int i = 0; i < 4; ++i) c[i] = polar_xor(c[i], c[i + 4]);
		}
		for (int h = 8; h < N; h *= 4) {
			for (int b = 0; b < N; b += 4 * h) {
				for (int i = b; i < b + h; ++i) {
					VEC x0 = polar_xor(codeword[i], codeword[i + h]), x1 = codeword[i + h];
					VEC x2 = polar_xor(codeword[i + 2 * h], codeword[i + 3 * h]), x3 = codeword[i + 3 * h];
					codeword[i] = polar_xor(x0, x2);
					codeword[i + h] = polar_xor(x1, x3);
					codeword[i + 2 * h] = x2;
				}
			}
		}
	}

	template <typename BIT>
	bool crc_passes(const unsigned int *frozen, BIT bit)
	{
		crc.reset(0);
		for_each_information_position(frozen, [&](int j, int k) { crc(bit(j, k)); });
		return !crc.crc;
	}

	// Writes the first K information bits of the accepted path, bit(j, k)
	// for the k-th at position j, and counts those its soft bit disagrees with.
	template <typename BIT>
	static int deliver(unsigned char *message, const TYPE *code, const unsigned int *frozen, int K, BIT bit)
	{
		int flips = 0;
		for_each_information_position(frozen, [&](int j, int k) {
			if (k >= K) return;
			bool b = bit(j, k);
			set_le_bit(message, k, b);
			flips += b != (code[j] < 0);
		});
		return flips;
	}

public:
	// code: 2048 soft bits in code position order, positive for 0.
	// frozen: a table with exactly K + 32 information positions, K + 32 <= 1392.
	// message: receives the K payload bits, bit k at bit k mod 8 of byte k / 8;
	// no other bit is touched, and nothing at all when the result is -1.
	// Returns the number of payload bits that differ from the hard decision of
	// their received soft bit (0 counts as bit 0), or -1 when no path of the
	// list passes the CRC.
	int operator()(unsigned char *message, const TYPE *code, const unsigned int *frozen, int K)
	{
		// Most bursts arrive well above the noise: their hard-decision path
		// usually proves to be the list's answer, at a tenth of the cost.
		if constexpr (narrow) {
			if (hard_path(code, frozen)) {
				auto bit = [x = hard_path.codeword()](int j, int) { return x[j] < 0; };
				if (crc_passes(frozen, bit)) return deliver(message, code, frozen, K, bit);
			}
		}
		return list(message, code, frozen, K);
	}

	// The code word of the list's most likely path in the last call that
	// ran the list (every call that returned -1 did): 2048 values, +1 for a
	// 0 bit and -1 for a 1 bit. Near a miss it is mostly right, which makes
	// it a pilot for another look at the channel.
	void best_codeword(signed char *word) const
	{
		for (int j = 0; j < N; ++j) word[j] = codeword[j].lane(best_lane) < 0 ? -1 : 1;
	}

	// What the paths of the last list call say of each code bit, in the soft
	// values' units, positive for 0: the best metric of the paths that have
	// the bit 1 less the best of those that have it 0, and where every path
	// agrees, the spread of the metrics. The paths are the likeliest words
	// of the code, so the ratios tell what its constraints make of the
	// input, as a soft decoder's would; near the code's threshold, where the
	// soft cancellation decoder says little, the list still says much.
	void path_ratios(float *ratio) const
	{
		constexpr int none = std::numeric_limits<int>::max();
		auto [lo, hi] = std::minmax_element(path_metric, path_metric + LANES);
		const float spread = float(*hi - *lo);
		for (int j = 0; j < N; ++j) {
			int best[2] = {none, none};
			for (int k = 0; k < LANES; ++k) {
				int &b = best[codeword[j].lane(k) < 0];
				b = std::min(b, path_metric[k]);
			}
			ratio[j] = best[1] == none ? spread : best[0] == none ? -spread : float(best[1] - best[0]);
		}
	}

	// The same result by the list alone.
	int list(unsigned char *message, const TYPE *code, const unsigned int *frozen, int K)
	{
		int metric[LANES];
		metric[0] = 0;
		// The other lanes start out as copies of lane 0 that lose to every
		// path of lane 0's own the list could hold, so the list fills with
		// descendants of lane 0: a start of 1000 is eight 8-bit values of
		// the largest size, and as many 16-bit ones for the wider type.
		constexpr int start = 1000 * (std::numeric_limits<TYPE>::max() / 127);
		for (int k = 1; k < LANES; ++k) metric[k] = start;
		int count = 0;
		for (int i = 0; i < N; ++i) soft[N + i] = VEC::dup(code[i]);

		constexpr int H = N / 2;
		for (int i = 0; i < H; ++i) soft[H + i] = polar_f(soft[N + i], soft[N + H + i]);
		MAP map1 = TREE::decode(metric, mesg, maps, &count, hard, soft, frozen);
		for (int i = 0; i < H; ++i)
			soft[H + i] = polar_g(vshuf(soft[N + i], map1), vshuf(soft[N + H + i], map1), hard[i]);
		TREE::decode(metric, mesg, maps, &count, hard + H, soft, frozen + H / 32);
		// The top node's own code bits are not needed: the code word is
		// re-encoded below from the traced-back decisions.

		MAP p = maps[count - 1];
		for (int i = count - 2; i >= 0; --i) {
			mesg[i] = vshuf(mesg[i], p);
			p = vshuf(maps[i], p);
		}
		reencode(frozen);
		for_each_information_position(frozen, [this](int j, int k) { mesg[k] = codeword[j]; });

		int order[LANES];
		for (int k = 0; k < LANES; ++k) order[k] = k;
		std::sort(order, order + LANES, [&metric](int a, int b) {
			return metric[a] < metric[b] || (metric[a] == metric[b] && a < b);
		});
		best_lane = order[0];
		std::copy(metric, metric + LANES, path_metric);
		for (int lane : order) {
			auto bit = [this, lane](int, int k) { return mesg[k].lane(lane) < 0; };
			if (crc_passes(frozen, bit)) return deliver(message, code, frozen, K, bit);
		}
		return -1;
	}
};

}
