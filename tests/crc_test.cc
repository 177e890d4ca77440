#include "code/crc.hh"

#include <gtest/gtest.h>

#include <concepts>
#include <random>

namespace {

// Reflected polynomials with their table entries 1 and 255 and the check value
// over the ASCII digits 1 to 9 from register 0.
struct Crc8
{
	using type = uint8_t;
	static constexpr type poly = 0x8C, lut1 = 0x5E, lut255 = 0x35, check = 0xA1;
};

struct Crc16
{
	using type = unsigned short;
	static constexpr type poly = 0xA8F4, lut1 = 0x8917, lut255 = 0x78F2, check = 0x4124;
};

struct Crc32
{
	using type = unsigned int;
	static constexpr type poly = 0x8F6E37A0, lut1 = 0x46A9C7BF, lut255 = 0x3D98BD6A, check = 0x55D323E5;
};

template <typename P>
class CrcTest : public ::testing::Test
{
protected:
	using TYPE = typename P::type;
	CODE::CRC<TYPE> crc{P::poly};
};

using Polys = ::testing::Types<Crc8, Crc16, Crc32>;
TYPED_TEST_SUITE(CrcTest, Polys);

// Each argument type selects its own step; anything else does not compile.
template <typename TYPE>
constexpr bool steps_resolve =
	std::same_as<decltype(std::declval<CODE::CRC<TYPE> &>()(uint8_t())), TYPE> &&
	std::same_as<decltype(std::declval<CODE::CRC<TYPE> &>()(bool())), TYPE> &&
	std::same_as<decltype(std::declval<CODE::CRC<TYPE> &>()(uint64_t())), TYPE> &&
	!std::invocable<CODE::CRC<TYPE> &, int> && !std::invocable<CODE::CRC<TYPE> &, char> &&
	!std::invocable<CODE::CRC<TYPE> &, uint16_t> && !std::invocable<CODE::CRC<TYPE> &, uint32_t>;
static_assert(steps_resolve<uint8_t> && steps_resolve<unsigned short> && steps_resolve<unsigned int>);

TYPED_TEST(CrcTest, Table)
{
	auto &crc = this->crc;
	EXPECT_EQ(crc.poly, TypeParam::poly);
	EXPECT_EQ(crc.crc, 0);
	EXPECT_EQ(crc.lut[0], 0);
	EXPECT_EQ(crc.lut[1], TypeParam::lut1);
	EXPECT_EQ(crc.lut[128], TypeParam::poly);
	EXPECT_EQ(crc.lut[255], TypeParam::lut255);
	// The table is linear: each entry is the XOR of the entries of its set bits.
	for (int v = 1; v < 256; ++v) {
		typename TypeParam::type sum = 0;
		for (int k = 0; k < 8; ++k)
			if (v >> k & 1) sum ^= crc.lut[1 << k];
		EXPECT_EQ(crc.lut[v], sum) << v;
	}
}

TYPED_TEST(CrcTest, CheckString)
{
	auto &crc = this->crc;
	crc.reset(0x55);
	crc.reset(0);
	for (char c : std::string("123456789")) {
		auto r = crc(uint8_t(c));
		EXPECT_EQ(r, crc.crc);
	}
	EXPECT_EQ(crc.crc, TypeParam::check);
	crc.reset(0);
	EXPECT_EQ(crc(uint8_t(0)), 0);
}

TYPED_TEST(CrcTest, BitStepsEqualByteStep)
{
	auto &crc = this->crc;
	CODE::CRC<typename TypeParam::type> ref(TypeParam::poly);
	std::mt19937 gen(4);
	crc.reset(0);
	ref.reset(0);
	for (int n = 0; n < 200; ++n) {
		uint8_t byte = gen();
		for (int k = 0; k < 8; ++k) EXPECT_EQ(crc(bool(byte >> k & 1)), crc.crc);
		EXPECT_EQ(crc.crc, ref(byte));
	}
	// Bit and byte steps with the same numeric value must not be confused.
	crc.reset(0);
	ref.reset(0);
	EXPECT_EQ(crc(true), crc.lut[128]);
	EXPECT_EQ(ref(uint8_t(1)), ref.lut[1]);
}

TYPED_TEST(CrcTest, ResidueIsZero)
{
	auto &crc = this->crc;
	constexpr int width = 8 * sizeof(typename TypeParam::type);
	std::mt19937 gen(5);
	for (int len = 0; len < 40; ++len) {
		uint8_t msg[40];
		crc.reset(0);
		for (int k = 0; k < len; ++k) crc(msg[k] = gen());
		auto sum = crc.crc;
		for (int k = 0; k < width; k += 8) crc(uint8_t(sum >> k));
		EXPECT_EQ(crc.crc, 0) << len;
		crc.reset(0);
		for (int k = 0; k < len; ++k) crc(msg[k]);
		for (int k = 0; k < width; ++k) crc(bool(sum >> k & 1));
		EXPECT_EQ(crc.crc, 0) << len;
	}
}

TYPED_TEST(CrcTest, WordIsEightBytesLeastSignificantFirst)
{
	auto &crc = this->crc;
	CODE::CRC<typename TypeParam::type> ref(TypeParam::poly);
	std::mt19937_64 gen(6);
	crc.reset(0);
	EXPECT_EQ(crc(uint64_t(0)), 0);
	for (int n = 0; n < 50; ++n) {
		uint64_t word = gen();
		ref.reset(crc.crc);
		for (int k = 0; k < 8; ++k) ref(uint8_t(word >> 8 * k));
		EXPECT_EQ(crc(word), ref.crc);
		EXPECT_EQ(crc.crc, ref.crc);
	}
}

TEST(Crc16, WordCheckValues)
{
	CODE::CRC<unsigned short> crc(0xA8F4);
	EXPECT_EQ(crc(uint64_t(0x0123456789ABCDEF)), 0x9A7C);
	crc.reset(0);
	EXPECT_EQ(crc(uint64_t(0x200)), 0x47FC);
}

}
