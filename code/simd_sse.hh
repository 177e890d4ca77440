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

using SSEInt8 = SIMD<signed char, 16, SSE41ISA>;
using SSEUint8 = SIMD<unsigned char, 16, SSE41ISA>;

inline SSEInt8 vqadd(SSEInt8 a, SSEInt8 b) { return {_mm_adds_epi8(a.m, b.m)}; }
inline SSEInt8 vmin(SSEInt8 a, SSEInt8 b) { return {_mm_min_epi8(a.m, b.m)}; }
inline SSEInt8 vmax(SSEInt8 a, SSEInt8 b) { return {_mm_max_epi8(a.m, b.m)}; }
inline SSEInt8 vabs(SSEInt8 a) { return {_mm_abs_epi8(a.m)}; }
inline SSEInt8 vsign(SSEInt8 a, SSEInt8 b) { return {_mm_sign_epi8(a.m, b.m)}; }
inline SSEInt8 vshuf(SSEInt8 a, SSEUint8 m) { return {_mm_shuffle_epi8(a.m, m.m)}; }
inline SSEUint8 vshuf(SSEUint8 a, SSEUint8 m) { return {_mm_shuffle_epi8(a.m, m.m)}; }

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
