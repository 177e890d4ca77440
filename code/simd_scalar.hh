#pragma once

#include "code/simd_isa.hh"

#include <algorithm>
#include <limits>

// Plain C++ lanes: the reference every other ISA must match lane for lane.
template <typename TYPE, int WIDTH>
struct SIMD<TYPE, WIDTH, PortableISA>
{
	using value_type = TYPE;
	using isa = PortableISA;
	static constexpr int SIZE = WIDTH;
	TYPE v[WIDTH];

	static SIMD dup(TYPE x)
	{
		SIMD r;
		for (int k = 0; k < WIDTH; ++k) r.v[k] = x;
		return r;
	}

	static SIMD load(const TYPE *p)
	{
		SIMD r;
		for (int k = 0; k < WIDTH; ++k) r.v[k] = p[k];
		return r;
	}

	void store(TYPE *p) const
	{
		for (int k = 0; k < WIDTH; ++k) p[k] = v[k];
	}

	TYPE lane(int k) const { return v[k]; }
};

template <typename TYPE, int WIDTH>
using PortableSIMD = SIMD<TYPE, WIDTH, PortableISA>;

// Saturating lane-wise a + b.
template <typename TYPE, int WIDTH>
inline PortableSIMD<TYPE, WIDTH> vqadd(PortableSIMD<TYPE, WIDTH> a, PortableSIMD<TYPE, WIDTH> b)
{
	using limits = std::numeric_limits<TYPE>;
	for (int k = 0; k < WIDTH; ++k) a.v[k] = TYPE(std::clamp<int>(a.v[k] + b.v[k], limits::min(), limits::max()));
	return a;
}

template <typename TYPE, int WIDTH>
inline PortableSIMD<TYPE, WIDTH> vmin(PortableSIMD<TYPE, WIDTH> a, PortableSIMD<TYPE, WIDTH> b)
{
	for (int k = 0; k < WIDTH; ++k) a.v[k] = std::min(a.v[k], b.v[k]);
	return a;
}

template <typename TYPE, int WIDTH>
inline PortableSIMD<TYPE, WIDTH> vmax(PortableSIMD<TYPE, WIDTH> a, PortableSIMD<TYPE, WIDTH> b)
{
	for (int k = 0; k < WIDTH; ++k) a.v[k] = std::max(a.v[k], b.v[k]);
	return a;
}

// |a| with two's complement wrap-around: the type's minimum stays as it is.
template <typename TYPE, int WIDTH>
inline PortableSIMD<TYPE, WIDTH> vabs(PortableSIMD<TYPE, WIDTH> a)
{
	for (int k = 0; k < WIDTH; ++k) a.v[k] = TYPE(a.v[k] < 0 ? -unsigned(a.v[k]) : unsigned(a.v[k]));
	return a;
}

// a where b > 0, -a (wrapping) where b < 0, 0 where b = 0.
template <typename TYPE, int WIDTH>
inline PortableSIMD<TYPE, WIDTH> vsign(PortableSIMD<TYPE, WIDTH> a, PortableSIMD<TYPE, WIDTH> b)
{
	for (int k = 0; k < WIDTH; ++k) a.v[k] = b.v[k] < 0 ? TYPE(-unsigned(a.v[k])) : b.v[k] > 0 ? a.v[k] : TYPE(0);
	return a;
}

// r[k] = a[m[k]]; every m[k] must be a lane number 0 ... WIDTH - 1.
template <typename TYPE, int WIDTH>
inline PortableSIMD<TYPE, WIDTH> vshuf(PortableSIMD<TYPE, WIDTH> a, PortableSIMD<unsigned char, WIDTH> m)
{
	PortableSIMD<TYPE, WIDTH> r;
	for (int k = 0; k < WIDTH; ++k) r.v[k] = a.v[m.v[k]];
	return r;
}
