#include "code/crc.hh"

#include <gtest/gtest.h>

#include <concepts>
#include <random>

namespace {

// A reflected polynomial with its table entries 1 and 255 and the check value
// over the ASCII digits 1 to 9 from register 0.
template <typename TYPE, TYPE POLY, TYPE LUT1, TYPE LUT255, TYPE CHECK>
struct Poly
{
	using type = TYPE;
	static constexpr TYPE poly = POLY, lut1 = LUT1, lut255 = LUT255, check = CHECK;
};

using Polys = ::testing::Types<
	//   register        poly        lut[1]      lut[255]    check
	Poly<uint8_t,        0x8C,       0x5E,       0x35,       0xA1>,
	Poly<unsigned short, 0xA8F4,     0x8917,     0x78F2,     0x4124>,
	Poly<unsigned int,   0x8F6E37A0, 0x46A9C7BF, 0x3D98BD6A, 0x55D323E5>>;

template <typename P>
class CrcTest : public ::testing::Test
{
protected:
	CODE::CRC<typename P::type> crc{P::poly}, ref{P::poly};
};

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

// Known table entries, a table linear in its index, a register that starts at 0 and is set by reset,
// and the check value, with each byte step returning the new register.
TYPED_TEST(CrcTest, TableAndCheckString)
{
	auto &crc = this->crc;
	EXPECT_EQ(crc.crc, 0);
	EXPECT_EQ(crc.lut[0], 0);
	EXPECT_EQ(crc.lut[1], TypeParam::lut1);
	EXPECT_EQ(crc.lut[128], TypeParam::poly);
	EXPECT_EQ(crc.lut[255], TypeParam::lut255);
	for (int a = 0; a < 256; ++a)
		for (int b = 0; b < 256; ++b) ASSERT_EQ(crc.lut[a ^ b], crc.lut[a] ^ crc.lut[b]) << a << ' ' << b;
	crc.reset(0x55);
	crc.reset(0);
	for (char c : std::string("123456789")) EXPECT_EQ(crc(uint8_t(c)), crc.crc);
	EXPECT_EQ(crc.crc, TypeParam::check);
}

// From any register, a word step, eight byte steps least significant byte
// first and 64 bit steps least significant bit first agree, and every step
// returns the new register.
TYPED_TEST(CrcTest, WordByteAndBitStepsAgree)
{
	auto &crc = this->crc, &ref = this->ref;
	std::mt19937_64 gen(6);
	for (int n = 0; n < 50; ++n) {
		uint64_t word = gen();
		auto start = crc.crc;
		ref.reset(start);
		for (int k = 0; k < 64; k += 8) ref(uint8_t(word >> k));
		EXPECT_EQ(crc(word), ref.crc);
		EXPECT_EQ(crc.crc, ref.crc);
		ref.reset(start);
		for (int k = 0; k < 64; ++k) EXPECT_EQ(ref(bool(word >> k & 1)), ref.crc);
		EXPECT_EQ(ref.crc, crc.crc) << n;
	}
}

// A message followed by its CRC, as bytes or as bits, least significant
// first, leaves register 0.
TYPED_TEST(CrcTest, ResidueIsZero)
{
	auto &crc = this->crc;
	constexpr int width = 8 * sizeof(typename TypeParam::type);
	std::mt19937 gen(5);
	for (int len = 0; len < 40; ++len) {
		uint8_t msg[40];
		for (int k = 0; k < len; ++k) msg[k] = gen();
		for (bool bits : {false, true}) {
			crc.reset(0);
			for (int k = 0; k < len; ++k) crc(msg[k]);
			const auto sum = crc.crc;
			for (int k = 0; k < width; k += bits ? 1 : 8) bits ? crc(bool(sum >> k & 1)) : crc(uint8_t(sum >> k));
			EXPECT_EQ(crc.crc, 0) << len << (bits ? " bits" : " bytes");
		}
	}
}

// Known word steps: the byte order inside a word, independent of the byte step.
TEST(Crc16, WordCheckValues)
{
	CODE::CRC<unsigned short> crc(0xA8F4);
	EXPECT_EQ(crc(uint64_t(0x0123456789ABCDEF)), 0x9A7C);
	crc.reset(0);
	EXPECT_EQ(crc(uint64_t(0x200)), 0x47FC);
}

}
