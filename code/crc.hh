#pragma once

#include <cstdint>
#include <type_traits>

namespace CODE {

// Table-driven reflected CRC: bits enter least significant first, the
// register shifts right, and there is no initial or final inversion.
// TYPE is the unsigned register of W = 8, 16 or 32 bits; bit k of poly is the
// coefficient of x^(W-1-k) of the generator, whose x^W term is implicit.
template <typename TYPE>
class CRC
{
	static_assert(std::is_unsigned_v<TYPE> && sizeof(TYPE) <= 4);

public:
	TYPE lut[256];
	TYPE poly;
	TYPE crc;

	explicit CRC(TYPE poly) : poly(poly), crc(0)
	{
		for (int v = 0; v < 256; ++v) {
			TYPE r = v;
			for (int k = 0; k < 8; ++k) r = (r >> 1) ^ ((r & 1) ? poly : 0);
			lut[v] = r;
		}
	}

	void reset(TYPE value) { crc = value; }

	TYPE operator()(uint8_t data)
	{
		// The shift happens after promotion to int: an 8-bit register keeps nothing of itself.
		crc = (crc >> 8) ^ lut[(crc ^ data) & 0xFF];
		return crc;
	}

	TYPE operator()(bool bit)
	{
		crc = (crc >> 1) ^ (((crc ^ TYPE(bit)) & 1) ? poly : 0);
		return crc;
	}

	// Eight byte steps, least significant byte first.
	TYPE operator()(uint64_t data)
	{
		for (int k = 0; k < 64; k += 8) (*this)(uint8_t(data >> k));
		return crc;
	}

	// Other integer arguments would be ambiguous between the three steps above;
	// naming the width at the call site keeps byte, bit and word steps apart.
	template <typename T>
	TYPE operator()(T) = delete;
};

}
