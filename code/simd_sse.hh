#pragma once

#include "code/simd_isa.hh"

#include <immintrin.h>

// SSSE3 gives byte shuffle, abs and sign transfer; SSE4.1 the signed byte min/max.
template <>
struct SIMD<signed char, 16, SSE41ISA>
{
	using value_type = signed char;
	using isa = SSE41ISA;
	static constexpr int SIZE = 16;
	__m128i m;

	static SIMD dup(signed char x) { return {_mm_set1_epi8(x)}; }
	static SIMD load(const signed char *p) { return {_mm_loadu_si128((const __m128i *)p)}; }
	void store(signed char *p) const { _mm_storeu_si128((__m128i *)p, m); }
	signed char lane(int k) const
	{
		signed char v[16];
		store(v);
		return v[k];
	}
};

template <>
struct SIMD<unsigned char, 16, SSE41ISA>
{
	using value_type = unsigned char;
	using isa = SSE41ISA;
	static constexpr int SIZE = 16;
	__m128i m;

	static SIMD dup(unsigned char x) { return {_mm_set1_epi8((char)x)}; }
	static SIMD load(const unsigned char *p) { return {_mm_loadu_si128((const __m128i *)p)}; }
	void store(unsigned char *p) const { _mm_storeu_si128((__m128i *)p, m); }
	unsigned char lane(int k) const
	{
		unsigned char v[16];
		store(v);
		return v[k];
	}
};

// Sixteen 16-bit lanes in two registers, lanes 0 ... 7 in lo and 8 ... 15
// in hi: the list decoder for soft values that 8 bits would clip.
template <>
struct SIMD<int16_t, 16, SSE41ISA>
{
	using value_type = int16_t;
	using isa = SSE41ISA;
	static constexpr int SIZE = 16;
	__m128i lo, hi;

	static SIMD dup(int16_t x) { return {_mm_set1_epi16(x), _mm_set1_epi16(x)}; }
	static SIMD load(const int16_t *p)
	{
		return {_mm_loadu_si128((const __m128i *)p), _mm_loadu_si128((const __m128i *)(p + 8))};
	}
	void store(int16_t *p) const
	{
		_mm_storeu_si128((__m128i *)p, lo);
		_mm_storeu_si128((__m128i *)(p + 8), hi);
	}
	int16_t lane(int k) const
	{
		int16_t v[16];
		store(v);
		return v[k];
	}
};

using SSEInt8 = SIMD<signed char, 16, SSE41ISA>;
using SSEUint8 = SIMD<unsigned char, 16, SSE41ISA>;

inline SSEInt8 vqadd(SSEInt8 a, SSEInt8 b) { return {_mm_adds_epi8(a.m, b.m)}; }
inline SSEInt8 vmin(SSEInt8 a, SSEInt8 b) { return {_mm_min_epi8(a.m, b.m)}; }
inline SSEInt8 vmax(SSEInt8 a, SSEInt8 b) { return {_mm_max_epi8(a.m, b.m)}; }
inline SSEInt8 vabs(SSEInt8 a) { return {_mm_abs_epi8(a.m)}; }
inline SSEInt8 vsign(SSEInt8 a, SSEInt8 b) { return {_mm_sign_epi8(a.m, b.m)}; }
inline SSEInt8 vshuf(SSEInt8 a, SSEUint8 m) { return {_mm_shuffle_epi8(a.m, m.m)}; }
inline SSEUint8 vshuf(SSEUint8 a, SSEUint8 m) { return {_mm_shuffle_epi8(a.m, m.m)}; }

using SSEInt16 = SIMD<int16_t, 16, SSE41ISA>;

inline SSEInt16 vqadd(SSEInt16 a, SSEInt16 b) { return {_mm_adds_epi16(a.lo, b.lo), _mm_adds_epi16(a.hi, b.hi)}; }
inline SSEInt16 vmin(SSEInt16 a, SSEInt16 b) { return {_mm_min_epi16(a.lo, b.lo), _mm_min_epi16(a.hi, b.hi)}; }
inline SSEInt16 vmax(SSEInt16 a, SSEInt16 b) { return {_mm_max_epi16(a.lo, b.lo), _mm_max_epi16(a.hi, b.hi)}; }
inline SSEInt16 vabs(SSEInt16 a) { return {_mm_abs_epi16(a.lo), _mm_abs_epi16(a.hi)}; }
inline SSEInt16 vsign(SSEInt16 a, SSEInt16 b) { return {_mm_sign_epi16(a.lo, b.lo), _mm_sign_epi16(a.hi, b.hi)}; }

// Lane k takes lane m[k]: the byte shuffle of both registers by the pair of
// bytes of lane m[k] mod 8, then the one where lane m[k] lies.
inline SSEInt16 vshuf(SSEInt16 a, SSEUint8 m)
{
	__m128i first = _mm_slli_epi16(_mm_and_si128(m.m, _mm_set1_epi8(7)), 1);
	__m128i second = _mm_add_epi8(first, _mm_set1_epi8(1));
	__m128i high = _mm_cmpgt_epi8(m.m, _mm_set1_epi8(7));
	__m128i control[2] = {_mm_unpacklo_epi8(first, second), _mm_unpackhi_epi8(first, second)};
	__m128i from_hi[2] = {_mm_unpacklo_epi8(high, high), _mm_unpackhi_epi8(high, high)};
	__m128i half[2];
	for (int h = 0; h < 2; ++h)
		half[h] = _mm_blendv_epi8(_mm_shuffle_epi8(a.lo, control[h]), _mm_shuffle_epi8(a.hi, control[h]), from_hi[h]);
	return {half[0], half[1]};
}

// Flag bytes 0 or 1 times the values, neighbours added: selection and
// widening in one instruction.
template <>
inline int16_t select_sum<SSE41ISA>(const signed char *flags, const signed char *values, int count)
{
	__m128i acc = _mm_setzero_si128();
	for (int j = 0; j < count; j += 16) {
		__m128i f = _mm_load_si128(reinterpret_cast<const __m128i *>(flags + j));
		__m128i v = _mm_load_si128(reinterpret_cast<const __m128i *>(values + j));
		acc = _mm_add_epi16(acc, _mm_maddubs_epi16(f, v));
	}
	acc = _mm_add_epi16(acc, _mm_srli_si128(acc, 8));
	acc = _mm_add_epi16(acc, _mm_srli_si128(acc, 4));
	acc = _mm_add_epi16(acc, _mm_srli_si128(acc, 2));
	return int16_t(_mm_extract_epi16(acc, 0));
}
