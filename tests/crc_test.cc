#include "code/crc.hh"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// A reflected polynomial and its check value over the ASCII digits 1 to 9 from register 0.
template <typename TYPE, TYPE POLY, TYPE CHECK>
struct Poly
{
	using type = TYPE;
	static constexpr TYPE poly = POLY, check = CHECK;
};

using Polys = ::testing::Types<Poly<uint8_t, 0x8C, 0xA1>, Poly<unsigned short, 0xA8F4, 0x4124>,
			       Poly<unsigned int, 0x8F6E37A0, 0x55D323E5>>;

template <typename P>
class CrcTest : public ::testing::Test
{
protected:
	CODE::CRC<typename P::type> crc{P::poly}, ref{P::poly};
};

TYPED_TEST_SUITE(CrcTest, Polys);

// The register starts at 0 and is set by reset; each byte step returns the new register.
TYPED_TEST(CrcTest, CheckString)
{
	auto &crc = this->crc;
	EXPECT_EQ(crc.crc, 0);
	crc.reset(0x55);
	crc.reset(0);
	for (char c : std::string("123456789")) EXPECT_EQ(crc(uint8_t(c)), crc.crc);
	EXPECT_EQ(crc.crc, TypeParam::check);
}

// From any register a word step equals eight byte steps and 64 bit steps, least significant first;
// the bit steps use no table, and the first 256 words start on every table entry from register 0.
TYPED_TEST(CrcTest, WordByteAndBitStepsAgree)
{
	auto &crc = this->crc, &ref = this->ref;
	std::mt19937_64 gen(6);
	for (int n = 0; n < 320; ++n) {
		uint64_t word = n < 256 ? n : gen();
		if (n < 256) crc.reset(0);
		auto start = crc.crc;
		ref.reset(start);
		for (int k = 0; k < 64; k += 8) ref(uint8_t(word >> k));
		EXPECT_EQ(crc(word), ref.crc);
		ref.reset(start);
		for (int k = 0; k < 64; ++k) EXPECT_EQ(ref(bool(word >> k & 1)), ref.crc);
		EXPECT_EQ(ref.crc, crc.crc) << n;
	}
}

}
