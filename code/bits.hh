#pragma once

#include <cstdint>

// Single bits of byte arrays: bit i lives in byte i / 8. The "be" order puts
// index 0 in the most significant bit of a byte, the "le" order in the least
// significant bit. No bounds are checked: the caller keeps i inside buf.
namespace CODE {

inline bool get_be_bit(const uint8_t *buf, int i)
{
	return (buf[i >> 3] >> (7 - (i & 7))) & 1;
}

inline bool get_le_bit(const uint8_t *buf, int i)
{
	return (buf[i >> 3] >> (i & 7)) & 1;
}

inline void set_be_bit(uint8_t *buf, int i, bool b)
{
	uint8_t mask = 1 << (7 - (i & 7));
	buf[i >> 3] = (buf[i >> 3] & ~mask) | (b ? mask : 0);
}

inline void set_le_bit(uint8_t *buf, int i, bool b)
{
	uint8_t mask = 1 << (i & 7);
	buf[i >> 3] = (buf[i >> 3] & ~mask) | (b ? mask : 0);
}

inline void xor_be_bit(uint8_t *buf, int i, bool b)
{
	buf[i >> 3] ^= b << (7 - (i & 7));
}

inline void xor_le_bit(uint8_t *buf, int i, bool b)
{
	buf[i >> 3] ^= b << (i & 7);
}

}
