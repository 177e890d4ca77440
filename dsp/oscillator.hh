#pragma once

#include "dsp/complex.hh"

#include <cmath>
#include <type_traits>

#if defined(__SSE4_1__)
#include <immintrin.h>
#endif

namespace DSP {

// Mixes count samples with an oscillator that starts at osc, steps by delta
// and is put back on the unit circle after every step by its float norm's
// float square root: out[k] = in[k]·osc_k, osc_k+1 = osc_k·delta / √|osc_k·delta|².
// Returns osc_count. Each step waits for the one before, so the time goes to
// the latency of that chain, which ends in a square root and a division.
template <typename T>
Complex<T> mix(Complex<T> *out, const Complex<T> *in, Complex<T> osc, Complex<T> delta, int count)
{
	int k = 0;
#if defined(__SSE4_1__)
	if constexpr (std::is_same_v<T, float>) {
		// The norm stays within a few units in the last place of 1, where
		// the square root is 1 or one of its neighbours for all but about
		// one step in 200. Dividing by 1 changes nothing, and the divisions
		// by the neighbours run beside the norm, so the chain keeps only a
		// choice among three known roots. Other norms take the square root.
		struct Roots
		{
			float below = std::nextafter(1.f, 0.f), above = std::nextafter(1.f, 2.f);
			// Norms whose root is below: [low, one); 1: [one, high]; above: (high, top].
			float low = 1, one = 1, high = 1, top = 1;
			Roots()
			{
				while (std::sqrt(std::nextafter(one, 0.f)) == 1.f) one = std::nextafter(one, 0.f);
				for (low = one; std::sqrt(std::nextafter(low, 0.f)) == below;) low = std::nextafter(low, 0.f);
				while (std::sqrt(std::nextafter(high, 2.f)) == 1.f) high = std::nextafter(high, 2.f);
				for (top = high; std::sqrt(std::nextafter(top, 2.f)) == above;) top = std::nextafter(top, 2.f);
			}
		};
		static const Roots roots;
		const __m128 below = _mm_set1_ps(roots.below), above = _mm_set1_ps(roots.above);
		const __m128 low = _mm_set1_ps(roots.low), one = _mm_set1_ps(roots.one);
		const __m128 high = _mm_set1_ps(roots.high), top = _mm_set1_ps(roots.top);
		// Complex products as a·[b.re, b.re] + swapped(a)·[−b.im, b.im]:
		// the same roundings as the plain formula, x + (−y) being x − y.
		const __m128 d_re = _mm_set1_ps(delta.re), d_im = _mm_setr_ps(-delta.im, delta.im, -delta.im, delta.im);
		__m128 o = _mm_setr_ps(osc.re, osc.im, osc.re, osc.im);
		for (; k < count; ++k) {
			const __m128 o_swapped = _mm_shuffle_ps(o, o, _MM_SHUFFLE(2, 3, 0, 1));
			// One complex value: 8 bytes with a float's alignment only.
			const __m128 x = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + k)));
			const __m128 x_re = _mm_shuffle_ps(x, x, _MM_SHUFFLE(0, 0, 0, 0));
			const __m128 x_im = _mm_shuffle_ps(x, x, _MM_SHUFFLE(1, 1, 1, 1));
			const __m128 y = _mm_add_ps(_mm_mul_ps(x_re, o), _mm_mul_ps(x_im, _mm_mul_ps(o_swapped, _mm_setr_ps(-1, 1, -1, 1))));
			_mm_storel_epi64(reinterpret_cast<__m128i *>(out + k), _mm_castps_si128(y));
			const __m128 q = _mm_add_ps(_mm_mul_ps(o, d_re), _mm_mul_ps(o_swapped, d_im));
			const __m128 squares = _mm_mul_ps(q, q);
			const __m128 n = _mm_add_ps(squares, _mm_shuffle_ps(squares, squares, _MM_SHUFFLE(2, 3, 0, 1)));
			const __m128 is_below = _mm_and_ps(_mm_cmpge_ps(n, low), _mm_cmplt_ps(n, one));
			const __m128 is_above = _mm_and_ps(_mm_cmpgt_ps(n, high), _mm_cmple_ps(n, top));
			const __m128 is_one = _mm_and_ps(_mm_cmpge_ps(n, one), _mm_cmple_ps(n, high));
			o = _mm_blendv_ps(_mm_blendv_ps(q, _mm_div_ps(q, below), is_below), _mm_div_ps(q, above), is_above);
			if (!(_mm_movemask_ps(_mm_or_ps(_mm_or_ps(is_below, is_above), is_one)) & 1))
				o = _mm_div_ps(q, _mm_sqrt_ps(n));
		}
		alignas(16) float lanes[4];
		_mm_store_ps(lanes, o);
		return Complex<T>(lanes[0], lanes[1]);
	}
#endif
	for (; k < count; ++k) {
		out[k] = in[k] * osc;
		osc *= delta;
		osc /= std::sqrt(norm(osc));
	}
	return osc;
}

}
