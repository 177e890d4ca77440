#pragma once

#include "code/bits.hh"
#include "code/assert.hh"

#include <algorithm>
#include <cstdint>

#include "code/simd.hh"

namespace CODE {

// Ordered statistics decoder of order O for a binary linear code of length N
// with K message bits. It re-encodes the hard decisions of the K most
// reliable independent positions and every pattern of up to O flips among
// them, and keeps the test word of highest correlation with the soft bits.
template <int N, int K, int O>
class OrderedStatisticsDecoder
{
	static_assert(0 < K && K < N && N <= 256 && 0 <= O && O <= 2);
	// Rows and vectors are padded to whole 16-byte vectors; the padding
	// entries stay 0 in every row and soft vector.
	static constexpr int W = (N + 15) & ~15;
	static_assert(W * 127 <= 32767);

	alignas(16) int8_t work_matrix[K][W];
	alignas(16) int8_t candidate[W];
	alignas(16) int8_t best[W];
	// Soft bits in permuted order, -128 taken as -127.
	alignas(16) int8_t softs[W];
	// softs times the bipolar form of candidate: (1 - 2·candidate[j])·softs[j].
	alignas(16) int8_t signed_softs[W];
	int16_t perm[N];

	// The metric of a test word is its correlation in bipolar form (+1 for
	// 0, -1 for 1) with softs. Sums of up to W values of magnitude at most
	// 127 are exact in 16 bits, and 16-bit accumulators keep the loops in
	// whole vectors.

	// Sets signed_softs for candidate and returns the metric of candidate.
	int sign_softs()
	{
		int16_t sum = 0;
		for (int j = 0; j < W; ++j) {
			signed_softs[j] = (softs[j] ^ -candidate[j]) + candidate[j];
			sum += signed_softs[j];
		}
		return sum;
	}

	// The metric of candidate ^ row i is that of candidate minus twice this
	// sum. Row i is the unit vector e_i on columns 0 … K-1, so below the
	// vector holding column K only its own column counts.
	int flipped_sum(int i) const
	{
		constexpr int from = K & ~15;
		const int8_t *flip = work_matrix[i];
		int sum = i < from ? signed_softs[i] : 0;
		return sum + select_sum(flip + from, signed_softs + from, W - from);
	}

	static void xor_row(int8_t *__restrict dst, const int8_t *__restrict src, int from)
	{
		for (int j = from & ~15; j < W; ++j)
			dst[j] ^= src[j];
	}

	// XOR row `pivot` from column `from` on into the rows first … last - 1 that
	// have a 1 in column `pivot`. The rows are listed first: testing and XORing
	// in one loop costs a mispredicted branch for every other row.
	void eliminate(int pivot, int first, int last, int from)
	{
		uint8_t rows[K];
		int count = 0;
		for (int r = first; r < last; ++r) {
			rows[count] = r;
			count += work_matrix[r][pivot];
		}
		for (int n = 0; n < count; ++n)
			xor_row(work_matrix[rows[n]], work_matrix[pivot], from);
	}

	void swap_rows(int a, int b, int from)
	{
		for (int j = from & ~15; j < W; ++j)
			std::swap(work_matrix[a][j], work_matrix[b][j]);
	}

	// When the hard decisions already form a code word and no soft bit is 0,
	// that word reaches the highest correlation any word can, the sum of all
	// magnitudes, and every other word, differing from it somewhere, scores
	// less. It is the order-0 test word, whatever the reliability order, and
	// the unique best: the search would return it. Received cleanly, most
	// words take this way at the cost of one re-encoding.
	bool hard_decisions_decode(uint8_t *hard, const int8_t *soft, const int8_t *genmat)
	{
		bool erased = false;
		for (int j = 0; j < N; ++j)
			erased |= !soft[j];
		if (erased)
			return false;
		for (int j = 0; j < N; ++j)
			candidate[j] = 0;
		for (int r = 0; r < K; ++r)
			if (soft[r] < 0)
				for (int j = 0; j < N; ++j)
					candidate[j] ^= genmat[N * r + j];
		bool codeword = true;
		for (int j = 0; j < N; ++j)
			codeword &= candidate[j] == (soft[j] < 0);
		if (!codeword)
			return false;
		for (int j = 0; j < N; ++j)
			set_be_bit(hard, j, candidate[j]);
		return true;
	}

public:
	// soft: N soft bits, positive for 0, negative for 1, -128 taken as -127.
	// genmat: K rows of N entries 0 or 1, systematic with the message in
	// positions 0 … K-1, of full rank K. hard: receives the chosen code word,
	// position k as be bit k; bits beyond N-1 keep their values.
	// Returns false when another test word reaches the best word's metric
	// (or when the best metric is -1 with no other above it).
	bool operator()(uint8_t *hard, const int8_t *soft, const int8_t *genmat)
	{
		if (hard_decisions_decode(hard, soft, genmat))
			return true;
		// Sorting keys of reliability and position orders the positions by
		// falling reliability, and equal ones by position: the same on every
		// platform, whatever the library's sort does with equal elements.
		for (int j = 0; j < N; ++j)
			perm[j] = (127 - (soft[j] < 0 ? std::min(-soft[j], 127) : soft[j])) << 8 | j;
		std::sort(perm, perm + N);
		for (int j = 0; j < N; ++j)
			perm[j] &= 255;

		for (int j = 0; j < N; ++j)
			for (int r = 0; r < K; ++r)
				work_matrix[r][j] = genmat[N * r + perm[j]];
		for (int r = 0; r < K; ++r)
			for (int j = N; j < W; ++j)
				work_matrix[r][j] = 0;

		for (int k = 0; k < K; ++k) {
			int t = k;
			while (t < K && !work_matrix[t][k])
				++t;
			if (t == K) {
				// No pivot in column k: bring in the first later column that
				// has one, which moves the dependent position to the less
				// reliable part.
				int c = k + 1;
				for (t = k; !work_matrix[t][c];)
					if (++t == K) {
						t = k;
						++c;
						ASSERT(c < N);
					}
				std::swap(perm[k], perm[c]);
				for (int r = 0; r < K; ++r)
					std::swap(work_matrix[r][k], work_matrix[r][c]);
			}
			if (t != k)
				swap_rows(t, k, k);
			eliminate(k, k + 1, K, k);
		}
		// Row i is the unit vector e_i on columns 0 … K-1 by now, so only
		// column i and the parity columns change in the rows above it.
		for (int i = K - 1; i > 0; --i) {
			eliminate(i, 0, i, K);
			for (int r = 0; r < i; ++r)
				work_matrix[r][i] = 0;
		}

		for (int j = 0; j < N; ++j)
			softs[j] = std::max<int8_t>(soft[perm[j]], -127);
		for (int j = N; j < W; ++j)
			softs[j] = 0;

		// Order 0: the hard decisions of the information set, re-encoded.
		for (int j = 0; j < W; ++j)
			candidate[j] = 0;
		for (int r = 0; r < K; ++r)
			if (softs[r] < 0)
				xor_row(candidate, work_matrix[r], 0);
		int best_metric = sign_softs(), next_metric = -1;
		std::copy(candidate, candidate + W, best);

		// A tie keeps the earlier test word and leaves next_metric equal to best_metric.
		auto evaluate = [&](int m, const int8_t *row) {
			if (m > best_metric) {
				next_metric = best_metric;
				best_metric = m;
				for (int j = 0; j < W; ++j)
					best[j] = candidate[j] ^ row[j];
			} else {
				next_metric = std::max(next_metric, m);
			}
		};
		alignas(16) static constexpr int8_t zero[W] = {};
		if constexpr (O >= 1) {
			for (int i = 0; i < K; ++i) {
				xor_row(candidate, work_matrix[i], 0);
				int metric = sign_softs();
				evaluate(metric, zero);
				if constexpr (O >= 2)
					for (int j = i + 1; j < K; ++j)
						evaluate(metric - 2 * flipped_sum(j), work_matrix[j]);
				xor_row(candidate, work_matrix[i], 0);
			}
		}

		for (int j = 0; j < N; ++j)
			set_be_bit(hard, perm[j], best[j]);
		return best_metric != next_metric;
	}
};

}
