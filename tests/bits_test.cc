#include "code/bits.hh"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// One bit order: its accessors and where index i sits inside its byte.
struct BigEndian
{
	static bool get(const uint8_t *buf, int i) { return CODE::get_be_bit(buf, i); }
	static void set(uint8_t *buf, int i, bool b) { CODE::set_be_bit(buf, i, b); }
	static void flip(uint8_t *buf, int i, bool b) { CODE::xor_be_bit(buf, i, b); }
	static int shift(int i) { return 7 - i % 8; }
};

struct LittleEndian
{
	static bool get(const uint8_t *buf, int i) { return CODE::get_le_bit(buf, i); }
	static void set(uint8_t *buf, int i, bool b) { CODE::set_le_bit(buf, i, b); }
	static void flip(uint8_t *buf, int i, bool b) { CODE::xor_le_bit(buf, i, b); }
	static int shift(int i) { return i % 8; }
};

template <typename ORDER>
class BitOrder : public ::testing::Test
{
};

using Orders = ::testing::Types<BigEndian, LittleEndian>;
TYPED_TEST_SUITE(BitOrder, Orders);

constexpr int bytes = 9;

// Each index addresses bit shift(i) of byte i / 8: get reads it, set writes
// either value over either value, xor flips it only when asked, and no
// accessor touches any other bit of the buffer.
TYPED_TEST(BitOrder, AccessorsTouchOnlyTheirBit)
{
	std::mt19937 gen(1);
	for (int i = 0; i < 8 * bytes; ++i) {
		uint8_t buf[bytes], ref[bytes];
		for (int k = 0; k < bytes; ++k) buf[k] = ref[k] = gen();
		const uint8_t mask = 1 << TypeParam::shift(i);
		EXPECT_EQ(TypeParam::get(buf, i), bool(buf[i / 8] & mask)) << i;
		auto expect = [&](const char *step, uint8_t byte) {
			ref[i / 8] = byte;
			EXPECT_EQ(0, std::memcmp(buf, ref, bytes)) << step << ' ' << i;
		};
		TypeParam::flip(buf, i, false);
		expect("xor 0", ref[i / 8]);
		TypeParam::flip(buf, i, true);
		expect("xor 1", ref[i / 8] ^ mask);
		for (bool b : {true, true, false, false}) {
			TypeParam::set(buf, i, b);
			expect(b ? "set 1" : "set 0", b ? ref[i / 8] | mask : ref[i / 8] & ~mask);
		}
	}
}

}
