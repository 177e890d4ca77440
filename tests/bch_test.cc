#include "code/bch_encoder.hh"
#include "code/bch_polynomials.hh"
#include "code/osd.hh"

#include <gtest/gtest.h>

#include <algorithm>
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
	for (char c : hex)
		for (int k = 3; k >= 0; --k) bits.push_back(std::stoi(std::string(1, c), nullptr, 16) >> k & 1);
	return {bits.end() - count, bits.end()};
}

template <typename C>
class Bch : public ::testing::Test
{
protected:
	static constexpr int N = C::N, K = C::K, NP = N - K;
	const std::vector<int> g = hex_bits(C::g, NP + 1);
	int8_t genmat[K * N];

	void build(bool systematic)
	{
		std::memset(genmat, 7, sizeof(genmat));
		CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, systematic, C::polys);
	}

	// A word (entry c the coefficient of x^(N-1-c)) leaves no remainder when divided by g.
	bool divisible(std::vector<int> word) const
	{
		for (int c = 0; c + NP < N; ++c)
			if (word[c])
				for (int k = 0; k <= NP; ++k) word[c + k] ^= g[k];
		return std::all_of(word.begin(), word.end(), [](int v) { return v == 0; });
	}
};

using Codes = ::testing::Types<Bch15x7, Bch15x5, Bch255x71>;
TYPED_TEST_SUITE(Bch, Codes);

// Non-systematic: every entry of the banded matrix, row r being g shifted right
// by r. Systematic: identity on the message columns, every row a code word,
// and the last row g itself (its parity part is g without x^NP).
TYPED_TEST(Bch, GeneratorMatrices)
{
	constexpr int N = TestFixture::N, K = TestFixture::K, NP = TestFixture::NP;
	const int8_t *genmat = this->genmat;
	this->build(false);
	for (int r = 0; r < K; ++r)
		for (int c = 0; c < N; ++c)
			ASSERT_EQ(genmat[N * r + c], c < r || c > r + NP ? 0 : this->g[c - r]) << r << ' ' << c;
	this->build(true);
	for (int r = 0; r < K; ++r) {
		std::vector<int> row(genmat + N * r, genmat + N * (r + 1));
		for (int c = 0; c < N; ++c)
			EXPECT_TRUE(c < K ? row[c] == (c == r) : row[c] == 0 || row[c] == 1) << r << ' ' << c;
		EXPECT_TRUE(this->divisible(row)) << r;
	}
	for (int c = K; c < N; ++c) EXPECT_EQ(genmat[N * (K - 1) + c], this->g[c - K + 1]);
}

// Encoding puts the message in front of parity that makes a code word, and
// keeps the bit after the word at 1 and at 0. The code word of a message is
// unique, so this also pins down linearity.
TYPED_TEST(Bch, EncoderIsSystematic)
{
	constexpr int N = TestFixture::N, K = TestFixture::K;
	this->build(true);
	std::mt19937 gen(7);
	for (int n = 0; n < 40; ++n) {
		uint8_t message[(K + 7) / 8], code[N / 8 + 1];
		for (auto &b : message) b = gen();
		std::memset(code, n % 2 ? 0xFF : 0x00, sizeof(code));
		CODE::bch_encode<N, K>(code, message, this->genmat);
		std::vector<int> word;
		for (int c = 0; c < N; ++c) word.push_back(CODE::get_be_bit(code, c));
		for (int k = 0; k < K; ++k) EXPECT_EQ(word[k], CODE::get_be_bit(message, k)) << k;
		EXPECT_TRUE(this->divisible(word));
		EXPECT_EQ(CODE::get_be_bit(code, N), n % 2) << "bit after the code word must keep its value";
	}
}

using Bch255x71Matrix = Bch<Bch255x71>;

// Rows of the systematic matrix the metadata decoder uses, as stored, and their weights.
TEST_F(Bch255x71Matrix, KnownRows)
{
	build(true);
	auto parity = [this](int r) { return std::vector<int>(genmat + N * r + K, genmat + N * (r + 1)); };
	EXPECT_EQ(parity(0), hex_bits("A0539150D23469B6C3D129B27342C9150F2B7E8D23C60E", NP));
	EXPECT_EQ(parity(70), hex_bits("40A722A1A468D36D87A25364E685922A1E56FD1A478C1D", NP));
	auto weight = [this](int r) { return std::count(genmat + N * r, genmat + N * (r + 1), 1); };
	EXPECT_EQ(weight(0), 85);
	EXPECT_EQ(weight(1), 85);
	EXPECT_EQ(weight(2), 98);
	EXPECT_EQ(weight(70), 85);
	for (int r = 0; r < K; ++r) EXPECT_GE(weight(r), 81) << r;
}

// The failure message names this file, the line and the failed expression.
std::string assertion(int line, const std::string &expr)
{
	std::string re;
	for (char c : "code/osd.hh:" + std::to_string(line) + ": matrix: Assertion `" + expr + "' failed")
		re += std::strchr("\\^$.|?*+()[]{}", c) ? std::string{'\\', c} : std::string{c};
	return re;
}

void generate(std::initializer_list<int> polys)
{
	static int8_t genmat[71 * 255];
	CODE::BoseChaudhuriHocquenghemGenerator<255, 71>::matrix(genmat, true, polys);
}

// A wrong polynomial list stops at the check that names the fault.
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
