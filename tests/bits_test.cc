#include "code/bits.hh"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// Index i addresses bit shift(i) of byte i / 8 in either order: get reads it, set writes either value
// over either value, xor flips it only when asked, and no accessor touches any other bit.
void check_order(bool (*get)(const uint8_t *, int), void (*set)(uint8_t *, int, bool),
		 void (*flip)(uint8_t *, int, bool), int (*shift)(int))
{
	std::mt19937 gen(1);
	for (int i = 0; i < 72; ++i) {
		uint8_t buf[9], ref[9];
		for (int k = 0; k < 9; ++k) buf[k] = ref[k] = gen();
		const uint8_t mask = 1 << shift(i), byte = ref[i / 8];
		EXPECT_EQ(get(buf, i), bool(byte & mask)) << i;
		flip(buf, i, false);
		EXPECT_EQ(0, std::memcmp(buf, ref, 9)) << "xor 0 " << i;
		flip(buf, i, true);
		ref[i / 8] = byte ^ mask;
		EXPECT_EQ(0, std::memcmp(buf, ref, 9)) << "xor 1 " << i;
		for (bool b : {true, true, false, false}) {
			set(buf, i, b);
			ref[i / 8] = b ? byte | mask : byte & ~mask;
			EXPECT_EQ(0, std::memcmp(buf, ref, 9)) << "set " << b << ' ' << i;
		}
	}
}

TEST(Bits, BigEndianAccessorsTouchOnlyTheirBit)
{
	check_order(CODE::get_be_bit, CODE::set_be_bit, CODE::xor_be_bit, [](int i) { return 7 - i % 8; });
}

TEST(Bits, LittleEndianAccessorsTouchOnlyTheirBit)
{
	check_order(CODE::get_le_bit, CODE::set_le_bit, CODE::xor_le_bit, [](int i) { return i % 8; });
}

}
