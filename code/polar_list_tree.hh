#pragma once

#include "code/polar_frozen_bits.hh"
#include "code/polar_kernels.hh"
#include "code/polar_list_node.hh"
#include "code/simd_isa.hh"

#include <array>

namespace CODE {

// One node of 2^M code positions, M = 1 ... 10, of the successive
// cancellation list decoder. Its input soft values are soft[2^M ... 2^(M+1) - 1],
// its children's input goes to soft[2^(M-1) ... 2^M - 1], and it leaves its
// code bits in hard[0 ... 2^M - 1]. The frozen bits of its positions come as
// a pointer to 2^M / 32 table words for M >= 6 and as the low 2^M bits of one
// word for M <= 5. Returns the lane map of the whole subtree; the node's
// stored soft inputs are reordered by the caller, not here.
template <typename VEC, int M>
struct PolarListTree
{
	using MAP = SIMD<unsigned char, VEC::SIZE, typename VEC::isa>;
	template <int C>
	using Frozen = PolarFrozenBits<C>;

	static MAP decode(int *metric, VEC *mesg, MAP *maps, int *count, VEC *hard, VEC *soft, Frozen<M> frozen)
	{
		constexpr int N = 1 << M, H = N / 2;
		Frozen<M - 1> left, right;
		split_frozen_bits<M>(frozen, left, right);
		for (int i = 0; i < H; ++i) soft[H + i] = polar_f(soft[N + i], soft[N + H + i]);
		MAP map1 = child(metric, mesg, maps, count, hard, soft, left);
		for (int i = 0; i < H; ++i)
			soft[H + i] = polar_g(vshuf(soft[N + i], map1), vshuf(soft[N + H + i], map1), hard[i]);
		MAP map2 = child(metric, mesg, maps, count, hard + H, soft, right);
		for (int i = 0; i < H; ++i) hard[i] = polar_xor(vshuf(hard[i], map2), hard[H + i]);
		return vshuf(map1, map2);
	}

	// Children of up to 32 positions that are all frozen need no tree: their
	// code bits are zero and they only add to the metrics.
	static MAP child(int *metric, VEC *mesg, MAP *maps, int *count, VEC *hard, VEC *soft, Frozen<M - 1> frozen)
	{
		constexpr int C = M - 1;
		if constexpr (C <= 5) {
			constexpr unsigned int all = ~0u >> (32 - (1 << C));
			if (frozen == all) {
				PolarListNode<VEC, C>::rate0(metric, hard, soft);
				return identity();
			}
		}
		if constexpr (C == 0)
			return PolarListNode<VEC, 0>::rate1(metric, mesg, maps, count, hard, soft);
		else
			return PolarListTree<VEC, C>::decode(metric, mesg, maps, count, hard, soft, frozen);
	}

	static MAP identity()
	{
		static constexpr auto lanes = [] {
			std::array<unsigned char, VEC::SIZE> k{};
			for (int i = 0; i < VEC::SIZE; ++i) k[i] = (unsigned char)i;
			return k;
		}();
		return MAP::load(lanes.data());
	}
};

}
