#include "code/bch_encoder.hh"
#include "code/bch_generator.hh"
#include "code/bch_polynomials.hh"
#include "code/osd.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

namespace {

// The codes and the random words tried with each spread of soft bits.
struct Bch15x7
{
	static constexpr int N = 15, K = 7, trials = 100;
	static constexpr std::initializer_list<int> polys = {0x13, 0x1F};
};

struct Bch31x16
{
	static constexpr int N = 31, K = 16, trials = 100;
	static constexpr std::initializer_list<int> polys = {0x25, 0x3B, 0x37};
};

struct Bch255x71
{
	static constexpr int N = 255, K = 71, trials = 25;
	static constexpr std::initializer_list<int> polys = CODE::bch_255_71_minimal_polynomials;
};

// The decoder in its plainest form: whole-row operations and every metric summed from scratch.
// Counts the pivots that needed a column swap.
template <int N, int K>
bool reference(uint8_t *hard, const int8_t *soft, const int8_t *genmat, int &column_swaps)
{
	std::vector<int> s(N), perm(N);
	for (int j = 0; j < N; ++j) s[j] = std::max<int>(soft[j], -127);
	std::iota(perm.begin(), perm.end(), 0);
	std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) { return std::abs(s[a]) > std::abs(s[b]); });
	std::vector<std::vector<int>> g(K, std::vector<int>(N));
	for (int r = 0; r < K; ++r)
		for (int j = 0; j < N; ++j) g[r][j] = genmat[N * r + perm[j]];
	for (int k = 0; k < K; ++k) {
		// Pivot row t in the first column c >= k that has a 1 in rows k ... K-1.
		int t = K, c = k - 1;
		while (t == K)
			for (++c, t = k; t < K && !g[t][c]; ++t) {}
		if (c != k) {
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
	auto flip = [&](int r) {
		for (int j = 0; j < N; ++j) c[j] ^= g[r][j];
	};
	for (int r = 0; r < K; ++r)
		if (s[perm[r]] < 0) flip(r);
	// The first test word of the highest metric wins; any other reaching it is a tie.
	int best_metric = INT_MIN, ties = 0;
	auto evaluate = [&] {
		int m = 0;
		for (int j = 0; j < N; ++j) m += (1 - 2 * c[j]) * s[perm[j]];
		if (m > best_metric) best_metric = m, best = c, ties = 0;
		else ties += m == best_metric;
	};
	evaluate();
	for (int i = 0; i < K; ++i) {
		flip(i);
		evaluate();
		for (int j = i + 1; j < K; ++j) flip(j), evaluate(), flip(j);
		flip(i);
	}
	for (int j = 0; j < N; ++j) CODE::set_be_bit(hard, perm[j], best[j]);
	return !ties && best_metric != -1;
}

template <typename C>
class Osd : public ::testing::Test
{
protected:
	static constexpr int N = C::N, K = C::K, BYTES = N / 8 + 1;
	static inline int8_t genmat[K * N];
	static inline CODE::OrderedStatisticsDecoder<N, K, 2> osd;
	std::mt19937 gen{8};
	uint8_t code[BYTES], hard[BYTES];
	int8_t soft[N];

	static void SetUpTestSuite() { CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, C::polys); }

	// Bit N, the first behind the code word, is 1 in the fill 0xA5.
	void encode(uint8_t *word, const uint8_t *message) const
	{
		std::memset(word, 0xA5, BYTES);
		CODE::bch_encode<N, K>(word, message, genmat);
	}

	// A random code word in code and its soft bits of the given magnitude in soft.
	void random_word(int magnitude)
	{
		uint8_t message[(K + 7) / 8];
		for (auto &b : message) b = gen();
		encode(code, message);
		for (int k = 0; k < N; ++k) soft[k] = CODE::get_be_bit(code, k) ? -magnitude : magnitude;
	}

	bool decode()
	{
		std::memset(hard, 0xA5, sizeof(hard));
		return osd(hard, soft, genmat);
	}

	// The output is word, and the bits behind it kept their values.
	bool decoded(const uint8_t *word) const { return !std::memcmp(hard, word, BYTES); }
};

using Codes = ::testing::Types<Bch15x7, Bch31x16, Bch255x71>;
TYPED_TEST_SUITE(Osd, Codes);

// Coarse soft bits make ties and dependent information sets common; at the widest spread most
// values saturate, and -128 must rank and weigh as -127. Noise below the word's magnitude leaves
// hard decisions that form the word, alone (3 and 2) or with erasures (2 and 2, and all zero).
TYPED_TEST(Osd, MatchesPlainDecoder)
{
	constexpr int N = TestFixture::N, K = TestFixture::K;
	int column_swaps = 0, ambiguous = 0, minus_limits = 0;
	for (auto [magnitude, spread] : {std::pair{0, 0}, {0, 1}, {1, 2}, {1, 3}, {3, 2}, {2, 2}, {10, 20}, {63, 127}, {127, 255}}) {
		std::uniform_int_distribution<int> noise(-spread, spread);
		for (int n = 0; n < TypeParam::trials; ++n) {
			this->random_word(magnitude);
			for (auto &s : this->soft) minus_limits += (s = std::clamp(s + noise(this->gen), -128, 127)) == -128;
			uint8_t expected[TestFixture::BYTES];
			std::memset(expected, 0xA5, sizeof(expected));
			bool result = reference<N, K>(expected, this->soft, this->genmat, column_swaps);
			EXPECT_EQ(this->decode(), result) << "spread " << spread << ", trial " << n;
			EXPECT_TRUE(this->decoded(expected)) << "spread " << spread << ", trial " << n;
			ambiguous += !result;
		}
	}
	EXPECT_GT(column_swaps, 0);
	EXPECT_GT(ambiguous, 0);
	EXPECT_GT(minus_limits, 0);
}

using Osd255 = Osd<Bch255x71>;

// BPSK over AWGN at Eb/N0 = 4 dB, soft bits 64 times the amplitude, where about one frame in a
// hundred fails: most frames decode to the word sent, and every output is a code word.
TEST_F(Osd255, NoisyRoundTrips)
{
	const float sigma = std::sqrt(N / (2.0f * K * std::pow(10.0f, 0.4f)));
	std::normal_distribution<float> noise(0, sigma);
	int good = 0;
	for (int n = 0; n < 100; ++n) {
		random_word(1);
		for (auto &s : soft) s = std::clamp(std::nearbyint(64 * (s + noise(gen))), -128.0f, 127.0f);
		bool result = decode();
		uint8_t word[BYTES];
		encode(word, hard);
		EXPECT_TRUE(decoded(word));
		good += result && decoded(code);
	}
	EXPECT_GE(good, 95);
}

}
