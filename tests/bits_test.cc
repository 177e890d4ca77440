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

TYPED_TEST(BitOrder, GetReadsTheBitOfItsByte)
{
	std::mt19937 gen(1);
	uint8_t buf[bytes];
	for (auto &b : buf) b = gen();
	for (int i = 0; i < 8 * bytes; ++i)
		EXPECT_EQ(TypeParam::get(buf, i), (buf[i / 8] >> TypeParam::shift(i)) & 1) << i;
}

TYPED_TEST(BitOrder, SetChangesOnlyItsBit)
{
	std::mt19937 gen(2);
	for (int i = 0; i < 8 * bytes; ++i) {
		for (bool b : {false, true}) {
			uint8_t buf[bytes], ref[bytes];
			for (int k = 0; k < bytes; ++k) buf[k] = ref[k] = gen();
			TypeParam::set(buf, i, b);
			EXPECT_EQ(TypeParam::get(buf, i), b);
			ref[i / 8] = (ref[i / 8] & ~(1 << TypeParam::shift(i))) | (b << TypeParam::shift(i));
			for (int k = 0; k < bytes; ++k) EXPECT_EQ(buf[k], ref[k]) << i << ' ' << k;
		}
	}
}

TYPED_TEST(BitOrder, XorFlipsOnlyWhenTrue)
{
	std::mt19937 gen(3);
	uint8_t buf[bytes], ref[bytes];
	for (int k = 0; k < bytes; ++k) buf[k] = ref[k] = gen();
	for (int i = 0; i < 8 * bytes; ++i) {
		TypeParam::flip(buf, i, false);
		EXPECT_EQ(0, std::memcmp(buf, ref, bytes));
		TypeParam::flip(buf, i, true);
		EXPECT_NE(TypeParam::get(buf, i), TypeParam::get(ref, i));
		EXPECT_EQ(buf[i / 8] ^ ref[i / 8], 1 << TypeParam::shift(i));
		TypeParam::flip(buf, i, true);
		EXPECT_EQ(0, std::memcmp(buf, ref, bytes));
	}
}

TEST(Bits, KnownBytes)
{
	const uint8_t high = 0x80;
	EXPECT_TRUE(CODE::get_be_bit(&high, 0));
	EXPECT_FALSE(CODE::get_be_bit(&high, 7));
	EXPECT_FALSE(CODE::get_le_bit(&high, 0));
	EXPECT_TRUE(CODE::get_le_bit(&high, 7));

	uint8_t be[2] = {0xFF, 0xFF}, le[2] = {0xFF, 0xFF};
	CODE::set_be_bit(be, 9, false);
	CODE::set_le_bit(le, 9, false);
	EXPECT_EQ(be[0], 0xFF);
	EXPECT_EQ(be[1], 0xBF);
	EXPECT_EQ(le[0], 0xFF);
	EXPECT_EQ(le[1], 0xFD);
}

}
