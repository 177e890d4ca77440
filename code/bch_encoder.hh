#pragma once

#include "code/bits.hh"

#include <cstdint>

namespace CODE {

// code = message · genmat over GF(2). message: K bits in be order; genmat: K
// rows of N entries 0 or 1; code: N bits in be order. With the systematic
// matrix positions 0 … K-1 of the code word are the message and K … N-1 the
// parity. Bits of the last code byte beyond position N-1 keep their values,
// as the decoder leaves them.
template <int N = 255, int K = 71>
void bch_encode(uint8_t *code, const uint8_t *message, const int8_t *genmat)
{
	int8_t word[N] = {};
	for (int r = 0; r < K; ++r)
		if (get_be_bit(message, r))
			for (int c = 0; c < N; ++c)
				word[c] ^= genmat[N * r + c];
	for (int c = 0; c < N; ++c)
		set_be_bit(code, c, word[c]);
}

}
