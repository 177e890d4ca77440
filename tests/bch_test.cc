#include "code/bch_encoder.hh"
#include "code/bch_generator.hh"
#include "code/bch_polynomials.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// A code: its sizes, its minimal polynomials and g(x) in hexadecimal, x^NP the top set bit.
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

template <typename C>
class Bch : public ::testing::Test
{
protected:
	static constexpr int N = C::N, K = C::K, NP = N - K;
	std::vector<int> g; // coefficients of x^NP down to x^0
	int8_t genmat[K * N];

	Bch()
	{
		for (char c : std::string(C::g))
			for (int k = 3; k >= 0; --k)
				g.push_back(std::stoi(std::string(1, c), nullptr, 16) >> k & 1);
		g.erase(g.begin(), g.end() - (NP + 1));
	}

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

// Non-systematic: row r is g shifted right by r. Systematic: identity on the message columns and
// every row a code word.
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
}

// Encoding puts the message in front of parity that makes a code word, and keeps the bit after the word.
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

void generate(std::initializer_list<int> polys)
{
	static int8_t genmat[71 * 255];
	CODE::BoseChaudhuriHocquenghemGenerator<255, 71>::matrix(genmat, true, polys);
}

// A wrong polynomial list stops at the check that names the fault.
TEST(Bch255x71Death, InvalidListsStop)
{
	EXPECT_DEATH(generate({}), "Assertion `genpoly_degree == NP \\+ 1' failed");
	const int x30 = 0x40000001; // degree 30
	EXPECT_DEATH(generate({x30, x30, x30, x30, x30, x30, x30}),
		     "Assertion `genpoly_degree \\+ m_degree <= NP \\+ 1' failed");
	EXPECT_DEATH(generate({0x11D, 0}), "Assertion `0 < m' failed");
	EXPECT_DEATH(generate({0x11D, 0x176}), "Assertion `m & 1' failed");
}

}
