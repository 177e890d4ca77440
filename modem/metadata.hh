#pragma once

#include <cstdint>

#include "code/bch_encoder.hh"
#include "code/bch_generator.hh"
#include "code/bch_polynomials.hh"
#include "code/bits.hh"
#include "code/crc.hh"
#include "modem/air_interface.hh"
#include "modem/mls.hh"

// The metadata symbol's word: mode and call sign, their CRC-16, the BCH code
// word that carries them, and the carrier values it becomes.

// The systematic generator matrix of the metadata code, bch_message rows of
// bch_length entries; built once per process, on first use.
inline const int8_t *metadata_generator()
{
	static const struct Matrix
	{
		int8_t rows[Air::bch_message * Air::bch_length];
		Matrix()
		{
			CODE::BoseChaudhuriHocquenghemGenerator<Air::bch_length, Air::bch_message>::matrix(
			    rows, true, CODE::bch_255_71_minimal_polynomials);
		}
	} matrix;
	return matrix.rows;
}

// The CRC-16 of the mode and call-sign bits.
inline unsigned metadata_crc(uint64_t meta)
{
	CODE::CRC<unsigned short> crc(Air::meta_crc_polynomial);
	return crc(uint64_t(meta << (64 - Air::meta_bits)));
}

// The code word of mode and call sign: bch_length bits in be order (32 bytes).
// Only the low call_sign_bits of call_sign are sent.
inline void metadata_code_word(uint8_t *code, int mode, uint64_t call_sign)
{
	uint64_t meta = (uint64_t(mode) & 255) | (call_sign << Air::mode_bits);
	meta &= (uint64_t(1) << Air::meta_bits) - 1;
	unsigned crc = metadata_crc(meta);
	uint8_t message[9] = {};
	for (int k = 0; k < Air::meta_bits; ++k) CODE::set_be_bit(message, k, (meta >> k) & 1);
	for (int k = 0; k < Air::meta_crc_bits; ++k) CODE::set_be_bit(message, Air::meta_bits + k, (crc >> k) & 1);
	CODE::bch_encode(code, message, metadata_generator());
}

// Mode and call sign of a decoded code word, false when its CRC fails.
inline bool read_metadata(const uint8_t *code, int &mode, uint64_t &call_sign)
{
	uint64_t meta = 0;
	for (int k = 0; k < Air::meta_bits; ++k) meta |= uint64_t(CODE::get_be_bit(code, k)) << k;
	unsigned received = 0;
	for (int k = 0; k < Air::meta_crc_bits; ++k) received |= unsigned(CODE::get_be_bit(code, Air::meta_bits + k)) << k;
	if (metadata_crc(meta) != received) return false;
	mode = int(meta & 255);
	call_sign = meta >> Air::mode_bits;
	return true;
}

// The metadata symbol's carriers -128 … 127 as ±1: each code bit the ratio
// of a carrier to its lower neighbour, then carriers -127 … 127 scrambled.
inline void metadata_carriers(float *values, const uint8_t *code)
{
	MLS scrambler(Air::scrambler_polynomial);
	float value = values[0] = 1;
	for (int k = 1; k < Air::carrier_count; ++k) {
		if (CODE::get_be_bit(code, k - 1)) value = -value;
		values[k] = scrambler() ? -value : value;
	}
}

// Calls flip(k) for each carrier index k (0 … 255 for carriers -128 … 127)
// that the scrambler inverts.
template <typename F>
void for_each_scrambled_carrier(F flip)
{
	MLS scrambler(Air::scrambler_polynomial);
	for (int k = 1; k < Air::carrier_count; ++k)
		if (scrambler()) flip(k);
}
