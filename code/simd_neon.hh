#pragma once

#include "code/simd_isa.hh"

#include <arm_neon.h>

template <>
struct SIMD<signed char, 16, NEONISA>
{
	using value_type = signed char;
	using isa = NEONISA;
	static constexpr int SIZE = 16;
	int8x16_t m;

	static SIMD dup(signed char x) { return {vdupq_n_s8(x)}; }
	static SIMD load(const signed char *p) { return {vld1q_s8(p)}; }
	void store(signed char *p) const { vst1q_s8(p, m); }
	signed char lane(int k) const
	{
		signed char v[16];
		store(v);
		return v[k];
	}
};

template <>
struct SIMD<unsigned char, 16, NEONISA>
{
	using value_type = unsigned char;
	using isa = NEONISA;
	static constexpr int SIZE = 16;
	uint8x16_t m;

	static SIMD dup(unsigned char x) { return {vdupq_n_u8(x)}; }
	static SIMD load(const unsigned char *p) { return {vld1q_u8(p)}; }
	void store(unsigned char *p) const { vst1q_u8(p, m); }
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
struct SIMD<int16_t, 16, NEONISA>
{
	using value_type = int16_t;
	using isa = NEONISA;
	static constexpr int SIZE = 16;
	int16x8_t lo, hi;

	static SIMD dup(int16_t x) { return {vdupq_n_s16(x), vdupq_n_s16(x)}; }
	static SIMD load(const int16_t *p) { return {vld1q_s16(p), vld1q_s16(p + 8)}; }
	void store(int16_t *p) const
	{
		vst1q_s16(p, lo);
		vst1q_s16(p + 8, hi);
	}
	int16_t lane(int k) const
	{
		int16_t v[16];
		store(v);
		return v[k];
	}
};

using NEONInt8 = SIMD<signed char, 16, NEONISA>;
using NEONUint8 = SIMD<unsigned char, 16, NEONISA>;

inline NEONInt8 vqadd(NEONInt8 a, NEONInt8 b) { return {vqaddq_s8(a.m, b.m)}; }
inline NEONInt8 vmin(NEONInt8 a, NEONInt8 b) { return {vminq_s8(a.m, b.m)}; }
inline NEONInt8 vmax(NEONInt8 a, NEONInt8 b) { return {vmaxq_s8(a.m, b.m)}; }
inline NEONInt8 vabs(NEONInt8 a) { return {vabsq_s8(a.m)}; }

inline NEONInt8 vsign(NEONInt8 a, NEONInt8 b)
{
	int8x16_t flipped = vbslq_s8(vcltzq_s8(b.m), vnegq_s8(a.m), a.m);
	return {vandq_s8(flipped, vreinterpretq_s8_u8(vtstq_s8(b.m, b.m)))};
}

// vqtbl1q returns 0 for indices past 15, which the lane maps never hold.
inline NEONInt8 vshuf(NEONInt8 a, NEONUint8 m) { return {vqtbl1q_s8(a.m, m.m)}; }
inline NEONUint8 vshuf(NEONUint8 a, NEONUint8 m) { return {vqtbl1q_u8(a.m, m.m)}; }

using NEONInt16 = SIMD<int16_t, 16, NEONISA>;

inline NEONInt16 vqadd(NEONInt16 a, NEONInt16 b) { return {vqaddq_s16(a.lo, b.lo), vqaddq_s16(a.hi, b.hi)}; }
inline NEONInt16 vmin(NEONInt16 a, NEONInt16 b) { return {vminq_s16(a.lo, b.lo), vminq_s16(a.hi, b.hi)}; }
inline NEONInt16 vmax(NEONInt16 a, NEONInt16 b) { return {vmaxq_s16(a.lo, b.lo), vmaxq_s16(a.hi, b.hi)}; }
inline NEONInt16 vabs(NEONInt16 a) { return {vabsq_s16(a.lo), vabsq_s16(a.hi)}; }

inline int16x8_t neon_sign(int16x8_t a, int16x8_t b)
{
	int16x8_t flipped = vbslq_s16(vcltzq_s16(b), vnegq_s16(a), a);
	return vandq_s16(flipped, vreinterpretq_s16_u16(vtstq_s16(b, b)));
}
inline NEONInt16 vsign(NEONInt16 a, NEONInt16 b) { return {neon_sign(a.lo, b.lo), neon_sign(a.hi, b.hi)}; }

// Lane k takes bytes 2 m[k] and 2 m[k] + 1 of the 32 that both registers
// hold, in one table lookup per half.
inline NEONInt16 vshuf(NEONInt16 a, NEONUint8 m)
{
	uint8x16_t first = vshlq_n_u8(m.m, 1), second = vaddq_u8(first, vdupq_n_u8(1));
	int8x16x2_t table = {{vreinterpretq_s8_s16(a.lo), vreinterpretq_s8_s16(a.hi)}};
	return {vreinterpretq_s16_s8(vqtbl2q_s8(table, vzip1q_u8(first, second))),
		vreinterpretq_s16_s8(vqtbl2q_s8(table, vzip2q_u8(first, second)))};
}
