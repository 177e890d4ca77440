#pragma once

#include <cstdint>

#include "code/polar_crc.hh"
#include "code/polar_tables.hh"

// What a transmitter and a receiver of these bursts must agree on, each fact
// once. A burst is the synchronisation symbol, the metadata symbol and, for
// the payload modes, data_symbols(M) data symbols; every symbol lasts 180 ms
// at both rates: symbol_length samples and a guard of guard_length, half of
// it on either side of the block.
namespace Air {

inline constexpr int rates[] = {8000, 48000};   // Hz
inline constexpr int mappings[] = {2, 4, 8};    // points of the data constellation

inline constexpr float carrier_spacing = 6.25f; // Hz
inline constexpr int carrier_count = 256;       // carriers -128 … 127
inline constexpr int sync_carriers = 127;       // -63 … 63 of the half-length symbol, 12.5 Hz apart

inline constexpr int symbol_length(int rate) { return rate * 4 / 25; } // 1 / carrier_spacing
inline constexpr int guard_length(int rate) { return rate / 50; }
inline constexpr int extended_length(int rate) { return symbol_length(rate) + guard_length(rate); }

// Data symbols of a payload burst: 2048 code bits in mapping-sized groups;
// mapping 8 fills its last 1024 slots by repeating the word from its start.
inline constexpr int data_symbols(int mapping) { return mapping == 2 ? 8 : 4; }

// The payload: one polar code word of code_length bits whose information
// positions carry the payload and its CRC-32 (CODE::polar_crc_polynomial);
// bytes are whitened by Xorshift32 before encoding.
inline constexpr int code_length = 2048;
inline constexpr int crc_bits = 32;
inline constexpr int max_payload_bytes = 170;

struct PayloadMode
{
	int mode;
	int bytes;                    // payload bytes
	const unsigned int *frozen;   // frozen-bit table with 8·bytes + crc_bits information positions
};

inline constexpr PayloadMode payload_modes[] = {
	{14, 170, frozen_2048_1392},
	{15, 128, frozen_2048_1056},
	{16, 85, frozen_2048_712},
};

// The table row of a payload mode, or null for every other mode (0 is a
// ping without payload).
inline constexpr const PayloadMode *payload_mode(int mode)
{
	for (const PayloadMode &m : payload_modes)
		if (m.mode == mode) return &m;
	return nullptr;
}

// Payload bytes a burst of the mode carries; 0 for every other mode.
inline constexpr int payload_bytes(int mode)
{
	const PayloadMode *m = payload_mode(mode);
	return m ? m->bytes : 0;
}

inline constexpr int ping_mode = 0;

// The metadata word: mode (8 bits) and call sign (47 bits) from bit 0 up,
// then the CRC-16 of those 55 bits shifted left by 9 — together the 71
// message bits of a BCH(255, 71) code word. Each code bit is the ratio of a
// carrier to its lower neighbour from carrier -128 up; carriers -127 … 127
// are then scrambled by the sequence of scrambler_polynomial.
inline constexpr int mode_bits = 8, call_sign_bits = 47, meta_bits = mode_bits + call_sign_bits;
inline constexpr int meta_crc_bits = 16;
inline constexpr unsigned short meta_crc_polynomial = 0xA8F4;
inline constexpr int bch_length = 255, bch_message = meta_bits + meta_crc_bits;

// Feedback polynomials of the maximal-length sequences (MLS): the
// synchronisation symbol's neighbour ratios, and the metadata scrambler.
inline constexpr int sync_polynomial = 0x89;
inline constexpr int scrambler_polynomial = 0x12B;

}
