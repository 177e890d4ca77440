#pragma once

#include "code/bits.hh"
#include "code/crc.hh"
#include "src/polar_list_tree.hh"
#include "src/simd.hh"

#include <algorithm>

template <typename TYPE, typename ISA = NativeISA>
class PolarDecoder;

// CRC-aided successive cancellation list decoder, list of 16, for the
// systematic polar code of 2048 positions whose K payload bits are followed
// by their CRC-32 on the information positions. The 16 paths live in the 16
// lanes of one vector; paths are renumbered, never copied.
template <typename ISA>
class PolarDecoder<signed char, ISA>
{
	using VEC = SIMD<signed char, 16, ISA>;
	using MAP = SIMD<unsigned char, 16, ISA>;
	using TREE = CODE::PolarListTree<VEC, 10>;
	static constexpr int N = 2048, LANES = 16, MAX_INFO = 1392;

	CODE::CRC<unsigned int> crc{0x8F6E37A0};
	VEC soft[2 * N];
	VEC hard[N];
	MAP maps[N];
	VEC mesg[MAX_INFO];
	VEC codeword[N];

	static bool is_frozen(const unsigned int *frozen, int i) { return (frozen[i / 32] >> (i % 32)) & 1; }

	void reencode(const unsigned int *frozen)
	{
		for (int j = 0, k = 0; j < N; ++j) codeword[j] = is_frozen(frozen, j) ? VEC::dup(1) : mesg[k++];
		for (int h = 1; h < N; h *= 2)
			for (int b = 0; b < N; b += 2 * h)
				for (int i = b; i < b + h; ++i) codeword[i] = CODE::polar_xor(codeword[i], codeword[i + h]);
	}

	bool crc_passes(int lane, int bits)
	{
		crc.reset(0);
		for (int k = 0; k < bits; ++k) crc(bool(mesg[k].v[lane] < 0));
		return !crc.crc;
	}

public:
	// code: 2048 soft bits in code position order, positive for 0.
	// frozen: a table with exactly K + 32 information positions, K + 32 <= 1392.
	// message: receives the K payload bits, bit k at bit k mod 8 of byte k / 8;
	// no other bit is touched, and nothing at all when the result is -1.
	// Returns the number of payload bits that differ from the hard decision of
	// their received soft bit (0 counts as bit 0), or -1 when no path of the
	// list passes the CRC.
	int operator()(unsigned char *message, const signed char *code, const unsigned int *frozen, int K)
	{
		int metric[LANES];
		metric[0] = 0;
		// The other lanes start out as copies of lane 0 that lose every tie, so
		// the list fills with descendants of lane 0.
		for (int k = 1; k < LANES; ++k) metric[k] = 1000;
		int count = 0;
		for (int i = 0; i < N; ++i) soft[N + i] = VEC::dup(code[i]);

		constexpr int H = N / 2;
		for (int i = 0; i < H; ++i) soft[H + i] = CODE::polar_f(soft[N + i], soft[N + H + i]);
		MAP map1 = TREE::decode(metric, mesg, maps, &count, hard, soft, frozen);
		for (int i = 0; i < H; ++i)
			soft[H + i] = CODE::polar_g(vshuf(soft[N + i], map1), vshuf(soft[N + H + i], map1), hard[i]);
		TREE::decode(metric, mesg, maps, &count, hard + H, soft, frozen + H / 32);
		// The top node's own code bits are not needed: the code word is
		// re-encoded below from the traced-back decisions.

		MAP p = maps[count - 1];
		for (int i = count - 2; i >= 0; --i) {
			mesg[i] = vshuf(mesg[i], p);
			p = vshuf(maps[i], p);
		}
		reencode(frozen);
		for (int j = 0, k = 0; j < N; ++j)
			if (!is_frozen(frozen, j)) mesg[k++] = codeword[j];

		int order[LANES];
		for (int k = 0; k < LANES; ++k) order[k] = k;
		std::sort(order, order + LANES, [&metric](int a, int b) {
			return metric[a] < metric[b] || (metric[a] == metric[b] && a < b);
		});
		int lane = -1;
		for (int r = 0; r < LANES && lane < 0; ++r)
			if (crc_passes(order[r], K + 32)) lane = order[r];
		if (lane < 0) return -1;

		int flips = 0;
		for (int j = 0, k = 0; k < K; ++j) {
			if (is_frozen(frozen, j)) continue;
			bool bit = mesg[k].v[lane] < 0;
			CODE::set_le_bit(message, k, bit);
			flips += bit != (code[j] < 0);
			++k;
		}
		return flips;
	}
};
