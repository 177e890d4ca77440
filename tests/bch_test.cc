#include "src/bch_encoder.hh"
#include "src/bch_polynomials.hh"
#include "src/osd.hh"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// A code: its sizes, its minimal polynomials and g(x) in hexadecimal with the
// leading coefficient x^NP as the most significant set bit.
struct Bch15x7
{
	static constexpr int N = 15, K = 7;
	static constexpr std::initializer_list<int> polys = {0x13, 0x1F};
	static constexpr const char *g = "1D1";
};

struct Bch15x5
{
	static constexpr int N = 15, K = 5;
	static constexpr std::initializer_list<int> polys = {0x13, 0x1F, 0x7};
	static constexpr const char *g = "537";
};

struct Bch255x71
{
	static constexpr int N = 255, K = 71;
	static constexpr std::initializer_list<int> polys = CODE::bch_255_71_minimal_polynomials;
	static constexpr const char *g = "140A722A1A468D36D87A25364E685922A1E56FD1A478C1D";
};

// The lowest `count` bits of a hexadecimal number, most significant first.
std::vector<int> hex_bits(const std::string &hex, int count)
{
	std::vector<int> bits;
	for (char c : hex) {
		int v = std::stoi(std::string(1, c), nullptr, 16);
		for (int k = 3; k >= 0; --k) bits.push_back(v >> k & 1);
	}
	return {bits.end() - count, bits.end()};
}

// Remainder of a word (column c is the coefficient of x^(size-1-c)) divided by g.
template <typename C>
bool divisible(std::vector<int> word)
{
	auto g = hex_bits(C::g, C::N - C::K + 1);
	for (int c = 0; c + g.size() <= word.size(); ++c)
		if (word[c])
			for (size_t k = 0; k < g.size(); ++k) word[c + k] ^= g[k];
	for (int v : word)
		if (v) return false;
	return true;
}

template <typename C>
class BchTest : public ::testing::Test
{
protected:
	static constexpr int N = C::N, K = C::K, NP = N - K;
	int8_t genmat[K * N];
	std::vector<int> row(int r) const { return {genmat + N * r, genmat + N * (r + 1)}; }
	void build(bool systematic)
	{
		std::memset(genmat, 7, sizeof(genmat));
		CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, systematic, C::polys);
	}
};

using Codes = ::testing::Types<Bch15x7, Bch15x5, Bch255x71>;
TYPED_TEST_SUITE(BchTest, Codes);

TYPED_TEST(BchTest, NonSystematicRowsAreShiftedGenerator)
{
	constexpr int N = TestFixture::N, K = TestFixture::K, NP = TestFixture::NP;
	this->build(false);
	auto g = hex_bits(TypeParam::g, NP + 1);
	for (int r = 0; r < K; ++r)
		for (int c = 0; c < N; ++c)
			ASSERT_EQ(this->genmat[N * r + c], c < r || c > r + NP ? 0 : g[c - r]) << r << ' ' << c;
}

TYPED_TEST(BchTest, SystematicRowsAreCodeWordsWithIdentity)
{
	constexpr int N = TestFixture::N, K = TestFixture::K, NP = TestFixture::NP;
	this->build(true);
	auto g = hex_bits(TypeParam::g, NP + 1);
	for (int r = 0; r < K; ++r) {
		auto row = this->row(r);
		for (int c = 0; c < K; ++c) EXPECT_EQ(row[c], c == r) << r << ' ' << c;
		for (int c = K; c < N; ++c) EXPECT_TRUE(row[c] == 0 || row[c] == 1);
		EXPECT_TRUE(divisible<TypeParam>(row)) << r;
	}
	// The last row is x^0·g(x) itself: its parity part is g without x^NP.
	for (int c = K; c < N; ++c) EXPECT_EQ(this->genmat[N * (K - 1) + c], g[c - K + 1]);
}

TYPED_TEST(BchTest, EncoderIsSystematicAndLinear)
{
	constexpr int N = TestFixture::N, K = TestFixture::K;
	this->build(true);
	std::mt19937 gen(7);
	uint8_t a[(K + 7) / 8], b[(K + 7) / 8], sum[(K + 7) / 8];
	uint8_t ca[(N + 8) / 8], cb[(N + 8) / 8], csum[(N + 8) / 8];
	for (int n = 0; n < 20; ++n) {
		for (size_t k = 0; k < sizeof(a); ++k) sum[k] = (a[k] = gen()) ^ (b[k] = gen());
		std::memset(ca, 0xFF, sizeof(ca));
		std::memset(cb, 0x00, sizeof(cb));
		std::memset(csum, 0x00, sizeof(csum));
		CODE::bch_encode<N, K>(ca, a, this->genmat);
		CODE::bch_encode<N, K>(cb, b, this->genmat);
		CODE::bch_encode<N, K>(csum, sum, this->genmat);
		std::vector<int> word;
		for (int c = 0; c < N; ++c) {
			word.push_back(CODE::get_be_bit(ca, c));
			EXPECT_EQ(CODE::get_be_bit(csum, c), CODE::get_be_bit(ca, c) ^ CODE::get_be_bit(cb, c));
		}
		for (int k = 0; k < K; ++k) EXPECT_EQ(word[k], CODE::get_be_bit(a, k));
		EXPECT_TRUE(divisible<TypeParam>(word));
		EXPECT_TRUE(CODE::get_be_bit(ca, N)) << "bit after the code word must keep its value";
		EXPECT_FALSE(CODE::get_be_bit(cb, N));
	}
}

class Bch255x71Matrix : public BchTest<Bch255x71>
{
};

TEST_F(Bch255x71Matrix, KnownRows)
{
	build(true);
	auto parity = [this](int r) { return std::vector<int>(genmat + N * r + K, genmat + N * (r + 1)); };
	EXPECT_EQ(parity(0), hex_bits("A0539150D23469B6C3D129B27342C9150F2B7E8D23C60E", NP));
	EXPECT_EQ(parity(70), hex_bits("40A722A1A468D36D87A25364E685922A1E56FD1A478C1D", NP));
	auto weight = [this](int r) {
		auto v = row(r);
		return std::count(v.begin(), v.end(), 1);
	};
	EXPECT_EQ(weight(0), 85);
	EXPECT_EQ(weight(1), 85);
	EXPECT_EQ(weight(2), 98);
	EXPECT_EQ(weight(70), 85);
	for (int r = 0; r < K; ++r) EXPECT_GE(weight(r), 81) << r;

	build(false);
	EXPECT_EQ(std::vector<int>(genmat, genmat + 16), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1}));
	for (int c = 185; c < N; ++c) EXPECT_EQ(genmat[c], 0);
	for (int c = 0; c < 70; ++c) EXPECT_EQ(genmat[N * 70 + c], 0);
	EXPECT_EQ(genmat[N * 70 + 70], 1);
}

// The failure message names this file, the line and the failed expression.
std::string assertion(int line, const std::string &expr)
{
	std::string text = "src/osd.hh:" + std::to_string(line) + ": matrix: Assertion `" + expr + "' failed", re;
	for (char c : text) {
		if (std::strchr("\\^$.|?*+()[]{}", c)) re += '\\';
		re += c;
	}
	return re;
}

void generate(std::initializer_list<int> polys)
{
	static int8_t genmat[71 * 255];
	CODE::BoseChaudhuriHocquenghemGenerator<255, 71>::matrix(genmat, true, polys);
}

TEST(Bch255x71Death, InvalidListsStop)
{
	// 22 entries of degree 8 with one of degree 4 and one of degree 3: 183.
	EXPECT_DEATH(generate({}), assertion(59, "genpoly_degree == NP + 1"));
	EXPECT_DEATH(generate({0x11D, 0x177, 0x1F3, 0x169, 0x1BD, 0x1E7, 0x12B, 0x1D7, 0x13, 0x165, 0x18B, 0x163,
			       0x11B, 0x13F, 0x18D, 0x12D, 0x15F, 0x1F9, 0x1C3, 0x139, 0x1A9, 0xB, 0x187, 0x1B1}),
		     assertion(59, "genpoly_degree == NP + 1"));
	// The overshoot is caught at the first entry too many, before the invalid entry behind it.
	EXPECT_DEATH(generate({0x11D, 0x177, 0x1F3, 0x169, 0x1BD, 0x1E7, 0x12B, 0x1D7, 0x13, 0x165, 0x18B, 0x163,
			       0x11B, 0x13F, 0x18D, 0x12D, 0x15F, 0x1F9, 0x1C3, 0x139, 0x1A9, 0x1F, 0x187, 0x1B1,
			       0x3, 0}),
		     assertion(49, "genpoly_degree + m_degree <= NP + 1"));
	EXPECT_DEATH(generate({0x11D, 0}), assertion(43, "0 < m"));
	EXPECT_DEATH(generate({-0x11D}), assertion(43, "0 < m"));
	EXPECT_DEATH(generate({0x11D, 0x176}), assertion(44, "m & 1"));
}

}
