#pragma once

#include "dsp/complex.hh"
#include "dsp/fft_butterfly.hh"
#include "dsp/fft_lanes.hh"

#include <type_traits>

namespace DSP::FFT {

// Radix of the stage that splits BINS points: 5 first, then 3, then the
// power of two, split so that it always ends in 8-point leaves.
constexpr int radix(int bins)
{
	if (bins % 5 == 0) return 5;
	if (bins % 3 == 0) return 3;
	switch (bins) {
	case 8: return 8;
	case 16: return 2;
	case 32: return 2;
	case 64: return 8;
	case 128: return 2;
	case 256: return 4;
	case 512: return 8;
	}
	return 0;
}

// One decimation-in-time stage: reads in[0], in[STRIDE], … (BINS points)
// and writes their transform to out[0 … BINS−1] in natural order. factors is
// the twiddle table of the full length BINS·STRIDE; this stage uses every
// STRIDE-th entry.
template <int RADIX, int BINS, int STRIDE, typename TYPE, int SIGN>
struct Dit
{
	static_assert(RADIX > 1 && BINS % RADIX == 0, "length must be 5^a·3^b·2^c with 8 ≤ 2^c ≤ 512");
	static_assert(std::is_same_v<TYPE, Complex<float>>, "the lanes hold single-precision complex values");

	static constexpr int M = BINS / RADIX;

	static void dit(TYPE *out, const TYPE *in, const TYPE *factors) { run<false>(out, in, factors); }

private:
	template <int, int, int, typename, int>
	friend struct Dit;

	// With SPLIT the result is written in the split layout that the parent
	// stage reads.
	template <bool SPLIT>
	static void run(TYPE *out, const TYPE *in, const TYPE *factors)
	{
		if constexpr (M == 1) {
			TYPE x[RADIX];
			for (int q = 0; q < RADIX; ++q) x[q] = in[q * STRIDE];
			butterfly<SIGN>(x);
			for (int m = 0; m < RADIX; ++m) {
				if constexpr (SPLIT)
					put_split(out, m, x[m]);
				else
					out[m] = x[m];
			}
		} else {
			children(out, in, factors);
			combine<SPLIT>(out, factors);
		}
	}

	// The RADIX sub-transforms of every RADIX-th point, to out[q·M …] in the
	// split layout.
	static void children(TYPE *out, const TYPE *in, const TYPE *factors)
	{
		constexpr int S = RADIX * STRIDE;
		using Next = Dit<radix(M), M, S, TYPE, SIGN>;
		if constexpr (radix(M) == M && RADIX % 2 == 0) {
			// Leaves two at a time, one in each half of a vector.
			for (int q = 0; q < RADIX; q += 2) {
				Pair x[M];
				const TYPE *a = in + q * STRIDE, *b = a + STRIDE;
				for (int j = 0; j < M; ++j) x[j] = Pair::load(a + j * S, b + j * S);
				butterfly<SIGN>(x);
				for (int m = 0; m < M; m += 4)
					Pair::store_split(out + q * M + m, out + (q + 1) * M + m, x + m);
			}
		} else {
			for (int q = 0; q < RADIX; ++q)
				Next::template run<true>(out + q * M, in + q * STRIDE, factors);
		}
	}

	// Twiddles and RADIX-point butterflies across the sub-transforms, four
	// consecutive k side by side (every M is a multiple of 8).
	template <bool SPLIT>
	static void combine(TYPE *out, const TYPE *factors)
	{
		static_assert(M % 4 == 0);
		for (int k = 0; k < M; k += 4) {
			Quad x[RADIX];
			x[0] = load_split(out + k);
			for (int q = 1; q < RADIX; ++q)
				x[q] = load_split(out + k + q * M) *
				       gather(factors + q * k * STRIDE, q * STRIDE);
			butterfly<SIGN>(x);
			for (int m = 0; m < RADIX; ++m) {
				if constexpr (SPLIT)
					store_split(out + k + m * M, x[m]);
				else
					store(out + k + m * M, x[m]);
			}
		}
	}
};

}
