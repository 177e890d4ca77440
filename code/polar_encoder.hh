#pragma once

#include "code/bits.hh"
#include "code/crc.hh"
#include "code/polar_crc.hh"

namespace CODE {

// Systematic encoder of the payload polar code of 2048 positions, x = u F^11
// with F = [[1, 0], [1, 1]] and no bit reversal: frozen bits of u are zero and
// the information positions of x carry the K payload bits and then their
// CRC-32 in increasing position order.
class PolarEncoder
{
	static constexpr int N = 2048;
	CRC<unsigned int> crc{polar_crc_polynomial};
	unsigned char bits[N];

	static bool is_frozen(const unsigned int *frozen, int i) { return (frozen[i / 32] >> (i % 32)) & 1; }

	// x = u F^11 over GF(2), in place; the transform is its own inverse.
	void transform()
	{
		for (int h = 1; h < N; h *= 2)
			for (int b = 0; b < N; b += 2 * h)
				for (int i = b; i < b + h; ++i) bits[i] ^= bits[i + h];
	}

public:
	// message: K payload bits, bit k at bit k mod 8 of byte k / 8.
	// frozen: a table with exactly K + 32 information positions.
	// codeword: receives 2048 bipolar values, +1 for bit 0 and -1 for bit 1.
	void operator()(signed char *codeword, const unsigned char *message, const unsigned int *frozen, int K)
	{
		crc.reset(0);
		for (int k = 0; k < K; ++k) crc(get_le_bit(message, k));
		unsigned int check = crc.crc;
		for (int j = 0, k = 0; j < N; ++j) {
			if (is_frozen(frozen, j)) {
				bits[j] = 0;
			} else {
				bits[j] = k < K ? get_le_bit(message, k) : (check >> (k - K)) & 1;
				++k;
			}
		}
		// Two passes: information bits in the code word domain back to u,
		// clear what must be frozen, and forward again. This reproduces the
		// information bits because the information set is closed under the
		// domination order, as every table built from Bhattacharyya bounds is.
		transform();
		for (int j = 0; j < N; ++j)
			if (is_frozen(frozen, j)) bits[j] = 0;
		transform();
		for (int j = 0; j < N; ++j) codeword[j] = bits[j] ? -1 : 1;
	}
};

}
