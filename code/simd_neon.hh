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
