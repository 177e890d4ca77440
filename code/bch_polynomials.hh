#pragma once

#include <initializer_list>

namespace CODE {

// Minimal polynomials (bit k is the coefficient of x^k) of α^1, α^3, … α^31,
// α^37, α^39, α^43, α^45, α^47, α^51, α^53 and α^55, α a root of the first,
// x^8 + x^4 + x^3 + x^2 + 1. Their product g(x) of degree 184 has the roots
// α^1 … α^58 and generates the BCH(255, 71) metadata code (designed distance 59).
inline constexpr std::initializer_list<int> bch_255_71_minimal_polynomials = {
	0x11D, 0x177, 0x1F3, 0x169, 0x1BD, 0x1E7, 0x12B, 0x1D7, 0x13, 0x165, 0x18B, 0x163,
	0x11B, 0x13F, 0x18D, 0x12D, 0x15F, 0x1F9, 0x1C3, 0x139, 0x1A9, 0x1F,  0x187, 0x1B1,
};

}
