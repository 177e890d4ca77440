#pragma once

#include <cstdint>
#include <initializer_list>

#include "code/assert.hh"

namespace CODE {

// Generator matrix of a binary BCH code of length N with K message bits and
// NP = N - K parity bits, from the minimal polynomials whose product is g(x).
template <int N, int K>
struct BoseChaudhuriHocquenghemGenerator
{
	static constexpr int NP = N - K;

	// genmat: K rows of N entries, each 0 or 1; column c is the coefficient of
	// x^(N-1-c). minimal_polynomials: bit k of an entry is the coefficient of
	// x^k; every entry is positive and odd and their degrees add up to NP.
	// Non-systematic: row r is x^(K-1-r)·g(x), banded upper triangular.
	// Systematic: columns 0 … K-1 are the identity, so a code word is its K
	// message bits followed by NP parity bits.
	static void matrix(int8_t *genmat, bool systematic, std::initializer_list<int> minimal_polynomials)
	{
		// g(x) grows in place in row 0, highest power first: genpoly[i] is the
		// coefficient of x^(NP-i), genpoly_degree counts the coefficients so far.
		int8_t *genpoly = genmat;
		for (int i = 0; i < NP; ++i)
			genpoly[i] = 0;
		genpoly[NP] = 1;
		int genpoly_degree = 1;

		for (int m : minimal_polynomials) {
			// A minimal polynomial over GF(2) of a nonzero field element has
			// a constant term of 1, so a zero, negative or even entry is a
			// wrong table rather than a different code. The degree checks
			// catch a list that does not multiply out to exactly NP + 1
			// coefficients, which would leave parity columns without
			// meaning or write past row 0; the list comes from a table, so
			// these are program errors.
			ASSERT(0 < m);
			ASSERT(m & 1);
			int m_degree = 0;
			while (m >> (m_degree + 1))
				++m_degree;

			ASSERT(genpoly_degree + m_degree <= NP + 1);
			// From the high powers down to the constant term, so that each
			// coefficient is read before any lower position changes.
			for (int p = NP + 1 - genpoly_degree; p <= NP; ++p)
				if (genpoly[p])
					for (int k = 1; k <= m_degree; ++k)
						genpoly[p - k] ^= (m >> k) & 1;
			genpoly_degree += m_degree;
		}

		ASSERT(genpoly_degree == NP + 1);
		ASSERT(genpoly[0]);
		ASSERT(genpoly[NP]);

		for (int c = NP + 1; c < N; ++c)
			genmat[c] = 0;
		for (int r = 1; r < K; ++r)
			for (int c = 0; c < N; ++c)
				genmat[N * r + c] = (c < r || c > r + NP) ? 0 : genpoly[c - r];
		if (!systematic)
			return;

		for (int i = K - 1; i > 0; --i)
			for (int j = 0; j < i; ++j)
				if (genmat[N * j + i])
					for (int c = i; c < N; ++c)
						genmat[N * j + c] ^= genmat[N * i + c];
	}
};

}
