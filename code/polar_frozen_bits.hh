#pragma once

#include <type_traits>

namespace CODE {

// The frozen bits of a tree node of 2^M positions: a pointer to its 2^M / 32
// table words for M >= 6, its bits in the low 2^M bits of one word below.
template <int M>
using PolarFrozenBits = std::conditional_t<(M >= 6), const unsigned int *, unsigned int>;

// A node's frozen bits split for its children: the left child gets the
// lower half of the positions, the right child the upper half.
template <int M>
void split_frozen_bits(PolarFrozenBits<M> frozen, PolarFrozenBits<M - 1> &left, PolarFrozenBits<M - 1> &right)
{
	constexpr int H = 1 << (M - 1);
	if constexpr (M >= 7) {
		left = frozen;
		right = frozen + H / 32;
	} else if constexpr (M == 6) {
		left = frozen[0];
		right = frozen[1];
	} else {
		left = frozen & ((1u << H) - 1);
		right = frozen >> H;
	}
}

}
