#include "src/bch_encoder.hh"
#include "src/bch_polynomials.hh"
#include "src/osd.hh"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int N = 255, K = 71;

class Osd : public ::testing::Test
{
protected:
	static inline int8_t genmat[K * N];
	static inline CODE::OrderedStatisticsDecoder<N, K, 2> osd;
	std::mt19937 gen{8};
	uint8_t code[32], hard[32];
	int8_t soft[N];

	static void SetUpTestSuite()
	{
		CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, CODE::bch_255_71_minimal_polynomials);
	}

	// A random code word in code and its soft bits of the given magnitude in soft.
	void random_word(int magnitude)
	{
		uint8_t message[9];
		for (auto &b : message) b = gen();
		std::memset(code, 0, sizeof(code));
		CODE::bch_encode(code, message, genmat);
		for (int k = 0; k < N; ++k) soft[k] = CODE::get_be_bit(code, k) ? -magnitude : magnitude;
	}

	bool decode()
	{
		std::memset(hard, 0xA5, sizeof(hard));
		return osd(hard, soft, genmat);
	}

	bool decoded(const uint8_t *word) const
	{
		for (int k = 0; k < N; ++k)
			if (CODE::get_be_bit(hard, k) != CODE::get_be_bit(word, k)) return false;
		return true;
	}

	// Whatever the input, the output is a code word: its systematic part re-encodes to it.
	bool is_code_word() const
	{
		uint8_t word[32] = {};
		CODE::bch_encode(word, hard, genmat);
		return decoded(word);
	}

	bool spare_bit_kept() const { return hard[31] & 1; }
};

TEST_F(Osd, CleanWords)
{
	for (int n = 0; n < 20; ++n) {
		random_word(100);
		EXPECT_TRUE(decode());
		EXPECT_TRUE(decoded(code));
		EXPECT_TRUE(spare_bit_kept());
	}
}

TEST_F(Osd, TwoStrongErrors)
{
	for (int n = 0; n < 50; ++n) {
		random_word(100);
		int a = gen() % N, b = (a + 1 + gen() % (N - 1)) % N;
		soft[a] = -soft[a];
		soft[b] = -soft[b];
		EXPECT_TRUE(decode()) << a << ' ' << b;
		EXPECT_TRUE(decoded(code)) << a << ' ' << b;
	}
}

TEST_F(Osd, FiveWeakErrors)
{
	for (int n = 0; n < 50; ++n) {
		random_word(100);
		for (int e = 0; e < 5; ++e) {
			int k = gen() % N;
			soft[k] = soft[k] < 0 ? 1 : -1;
		}
		EXPECT_TRUE(decode());
		EXPECT_TRUE(decoded(code));
	}
}

TEST_F(Osd, ErasedInputIsAmbiguous)
{
	std::memset(soft, 0, sizeof(soft));
	uint8_t zero[32] = {};
	for (int spare : {0x00, 0xFF}) {
		std::memset(hard, 0xFF, sizeof(hard));
		hard[31] = spare;
		EXPECT_FALSE(osd(hard, soft, genmat));
		EXPECT_EQ(0, std::memcmp(hard, zero, 31));
		EXPECT_EQ(hard[31], spare & 1);
	}
}

// Two code words at distance 85 that the soft bits cannot tell apart, and the
// same pair with one of their differing positions leaning by one unit.
TEST_F(Osd, TiesAreReported)
{
	for (int n = 0; n < 10; ++n) {
		random_word(100);
		uint8_t other[32];
		std::memcpy(other, code, sizeof(code));
		std::vector<int> differ;
		for (int k = 0; k < N; ++k)
			if (genmat[k]) {
				CODE::xor_be_bit(other, k, true);
				soft[k] = 0;
				differ.push_back(k);
			}
		EXPECT_FALSE(decode());
		EXPECT_TRUE(decoded(code) || decoded(other));
		int k = differ[gen() % differ.size()];
		soft[k] = CODE::get_be_bit(other, k) ? -1 : 1;
		EXPECT_TRUE(decode());
		EXPECT_TRUE(decoded(other));
	}
}

TEST_F(Osd, MinusLimitCountsAsMinus127)
{
	std::normal_distribution<float> noise(0, 90);
	for (int n = 0; n < 30; ++n) {
		random_word(60);
		for (auto &s : soft) s = std::clamp(std::lround(s + noise(gen)), -128L, 127L);
		soft[gen() % N] = -128;
		bool result = decode();
		uint8_t first[32];
		std::memcpy(first, hard, sizeof(hard));
		EXPECT_TRUE(is_code_word());
		EXPECT_TRUE(spare_bit_kept());
		for (auto &s : soft) s = std::max<int8_t>(s, -127);
		EXPECT_EQ(decode(), result);
		EXPECT_EQ(0, std::memcmp(hard, first, sizeof(hard)));
	}
}

// BPSK over AWGN at Eb/N0 = 4 dB per information bit, quantised like the
// receiver's soft bits (64 times the amplitude), where about one frame in a
// hundred fails: most frames decode to the word sent.
TEST_F(Osd, NoisyRoundTrips)
{
	const float sigma = std::sqrt(N / (2.0f * K * std::pow(10.0f, 0.4f)));
	std::normal_distribution<float> noise(0, sigma);
	int good = 0, frames = 100;
	for (int n = 0; n < frames; ++n) {
		random_word(1);
		for (auto &s : soft) s = std::clamp(std::nearbyint(64 * (s + noise(gen))), -128.0f, 127.0f);
		bool result = decode();
		EXPECT_TRUE(is_code_word());
		good += result && decoded(code);
	}
	EXPECT_GE(good, 95);
}

// The decoder in its plainest form: whole-row operations and every metric
// summed from scratch over all positions. Counts the pivots that needed a
// column swap.
template <int N, int K>
bool reference(uint8_t *hard, const int8_t *soft, const int8_t *genmat, int &column_swaps)
{
	std::vector<int> s(N), perm(N);
	for (int j = 0; j < N; ++j) s[j] = std::max<int>(soft[j], -127);
	for (int j = 0; j < N; ++j) perm[j] = j;
	std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) { return std::abs(s[a]) > std::abs(s[b]); });
	std::vector<std::vector<int>> g(K, std::vector<int>(N));
	for (int r = 0; r < K; ++r)
		for (int j = 0; j < N; ++j) g[r][j] = genmat[N * r + perm[j]];
	for (int k = 0; k < K; ++k) {
		int t = k;
		while (t < K && !g[t][k]) ++t;
		if (t == K) {
			int c = k + 1;
			for (;; ++c) {
				for (t = k; t < K && !g[t][c]; ++t) {}
				if (t < K) break;
			}
			++column_swaps;
			std::swap(perm[k], perm[c]);
			for (auto &row : g) std::swap(row[k], row[c]);
		}
		std::swap(g[t], g[k]);
		for (int r = 0; r < K; ++r)
			if (r != k && g[r][k])
				for (int j = 0; j < N; ++j) g[r][j] ^= g[k][j];
	}
	std::vector<int> c(N, 0), best;
	for (int r = 0; r < K; ++r)
		if (s[perm[r]] < 0)
			for (int j = 0; j < N; ++j) c[j] ^= g[r][j];
	int best_metric = 0, next_metric = -1;
	auto evaluate = [&](bool first) {
		int m = 0;
		for (int j = 0; j < N; ++j) m += (1 - 2 * c[j]) * s[perm[j]];
		if (first || m > best_metric) {
			next_metric = first ? -1 : best_metric;
			best_metric = m;
			best = c;
		} else {
			next_metric = std::max(next_metric, m);
		}
	};
	auto flip = [&](int r) {
		for (int j = 0; j < N; ++j) c[j] ^= g[r][j];
	};
	evaluate(true);
	for (int i = 0; i < K; ++i) {
		flip(i);
		evaluate(false);
		for (int j = i + 1; j < K; ++j) {
			flip(j);
			evaluate(false);
			flip(j);
		}
		flip(i);
	}
	for (int j = 0; j < N; ++j) CODE::set_be_bit(hard, perm[j], best[j]);
	return best_metric != next_metric;
}

// Coarse soft bits make ties and dependent information sets common.
TEST_F(Osd, MatchesPlainDecoder)
{
	int column_swaps = 0, ambiguous = 0;
	for (int spread : {2, 3, 20, 127}) {
		std::uniform_int_distribution<int> noise(-spread, spread);
		for (int n = 0; n < 25; ++n) {
			random_word(spread / 2);
			for (auto &s : soft) s = std::clamp(s + noise(gen), -128, 127);
			uint8_t expected[32];
			std::memset(expected, 0xA5, sizeof(expected));
			bool result = reference<N, K>(expected, soft, genmat, column_swaps);
			EXPECT_EQ(decode(), result);
			EXPECT_EQ(0, std::memcmp(hard, expected, sizeof(hard)));
			ambiguous += !result;
		}
	}
	EXPECT_GT(column_swaps, 0);
	EXPECT_GT(ambiguous, 0);
}

template <typename P>
class SmallOsd : public ::testing::Test
{
};

// A shorter code through the same templates: BCH(15, 7) and BCH(31, 16), both
// correcting two errors.
struct Bch15x7
{
	static constexpr int N = 15, K = 7;
	static constexpr std::initializer_list<int> polys = {0x13, 0x1F};
};

struct Bch31x16
{
	static constexpr int N = 31, K = 16;
	static constexpr std::initializer_list<int> polys = {0x25, 0x3B, 0x37};
};

using SmallCodes = ::testing::Types<Bch15x7, Bch31x16>;
TYPED_TEST_SUITE(SmallOsd, SmallCodes);

// Soft bits of -1, 0 and 1 give metrics near 0 and many ties.
TYPED_TEST(SmallOsd, MatchesPlainDecoder)
{
	constexpr int N = TypeParam::N, K = TypeParam::K;
	int8_t genmat[K * N], soft[N];
	CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, TypeParam::polys);
	CODE::OrderedStatisticsDecoder<N, K, 2> osd;
	std::mt19937 gen(11);
	int column_swaps = 0, ambiguous = 0;
	for (int n = 0; n < 1000; ++n) {
		for (auto &s : soft) s = int(gen() % 3) - 1;
		uint8_t hard[4] = {0xA5, 0xA5, 0xA5, 0xA5}, expected[4] = {0xA5, 0xA5, 0xA5, 0xA5};
		bool result = reference<N, K>(expected, soft, genmat, column_swaps);
		EXPECT_EQ(osd(hard, soft, genmat), result);
		EXPECT_EQ(0, std::memcmp(hard, expected, sizeof(hard)));
		ambiguous += !result;
	}
	EXPECT_GT(column_swaps, 0);
	EXPECT_GT(ambiguous, 0);
}

TYPED_TEST(SmallOsd, TwoStrongErrors)
{
	constexpr int N = TypeParam::N, K = TypeParam::K;
	int8_t genmat[K * N], soft[N];
	CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, TypeParam::polys);
	CODE::OrderedStatisticsDecoder<N, K, 2> osd;
	std::mt19937 gen(9);
	for (int n = 0; n < 200; ++n) {
		uint8_t message[2] = {uint8_t(gen()), uint8_t(gen())}, code[4] = {}, hard[4] = {};
		CODE::bch_encode<N, K>(code, message, genmat);
		for (int k = 0; k < N; ++k) soft[k] = CODE::get_be_bit(code, k) ? -100 : 100;
		int a = gen() % N, b = gen() % N;
		soft[a] = -soft[a];
		if (b != a) soft[b] = -soft[b];
		EXPECT_TRUE(osd(hard, soft, genmat));
		for (int k = 0; k < N; ++k) ASSERT_EQ(CODE::get_be_bit(hard, k), CODE::get_be_bit(code, k));
	}
}

}
