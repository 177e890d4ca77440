#pragma once

#include "dsp/complex.hh"

#include <cstring>

namespace DSP::FFT {

// Four floats operated on lane by lane, with IEEE single-precision results
// per lane: Complex<Lanes> runs four butterflies side by side (split real
// and imaginary parts) and gives exactly the results of four scalar ones.
// Built on the compiler's generic vectors, which map to SSE, NEON or scalar
// code as the target allows.
struct Lanes
{
	typedef float Vector __attribute__((vector_size(16)));
	Vector v;

	Lanes() = default;
	Lanes(float x) : v{x, x, x, x} {}
	Lanes(Vector v) : v(v) {}

	friend Lanes operator+(Lanes a, Lanes b) { return a.v + b.v; }
	friend Lanes operator-(Lanes a, Lanes b) { return a.v - b.v; }
	friend Lanes operator*(Lanes a, Lanes b) { return a.v * b.v; }
	friend Lanes operator-(Lanes a) { return -a.v; }
};

using Quad = Complex<Lanes>;

// (r₀, i₀, r₁, i₁), (r₂, i₂, r₃, i₃) into lanes.
inline Quad deinterleave(Lanes::Vector a, Lanes::Vector b)
{
	Lanes re = __builtin_shufflevector(a, b, 0, 2, 4, 6), im = __builtin_shufflevector(a, b, 1, 3, 5, 7);
	return {re, im};
}

// (r₀, r₁, i₀, i₁), (r₂, r₃, i₂, i₃) into lanes.
inline Quad halves(Lanes::Vector a, Lanes::Vector b)
{
	Lanes re = __builtin_shufflevector(a, b, 0, 1, 4, 5), im = __builtin_shufflevector(a, b, 2, 3, 6, 7);
	return {re, im};
}

// p[0 … 3] into lanes 0 … 3.
inline Quad load(const Complex<float> *p)
{
	Lanes::Vector a, b;
	std::memcpy(&a, p, sizeof a);
	std::memcpy(&b, p + 2, sizeof b);
	return deinterleave(a, b);
}

inline void store(Complex<float> *p, Quad z)
{
	Lanes::Vector a = __builtin_shufflevector(z.re.v, z.im.v, 0, 4, 1, 5);
	Lanes::Vector b = __builtin_shufflevector(z.re.v, z.im.v, 2, 6, 3, 7);
	std::memcpy(static_cast<void *>(p), &a, sizeof a);
	std::memcpy(static_cast<void *>(p + 2), &b, sizeof b);
}

// Split layout of a stage's intermediate results: each aligned group of
// four values is kept as its four real parts followed by its four imaginary
// parts, so that the next stage reads lanes without shuffling.
inline Quad load_split(const Complex<float> *p)
{
	Lanes::Vector re, im;
	std::memcpy(&re, static_cast<const void *>(p), sizeof re);
	std::memcpy(&im, static_cast<const void *>(p + 2), sizeof im);
	return {Lanes(re), Lanes(im)};
}

inline void store_split(Complex<float> *p, Quad z)
{
	std::memcpy(static_cast<void *>(p), &z.re.v, sizeof z.re.v);
	std::memcpy(static_cast<void *>(p + 2), &z.im.v, sizeof z.im.v);
}

// Value m of a split array.
inline void put_split(Complex<float> *p, int m, Complex<float> z)
{
	char *group = reinterpret_cast<char *>(p + m - m % 4);
	std::memcpy(group + m % 4 * sizeof(float), &z.re, sizeof z.re);
	std::memcpy(group + (4 + m % 4) * sizeof(float), &z.im, sizeof z.im);
}

// a and b side by side in one vector, each complex number moved as one
// 64-bit unit.
inline Lanes::Vector join(const Complex<float> *a, const Complex<float> *b)
{
	typedef double Halves __attribute__((vector_size(16)));
	double x, y;
	std::memcpy(&x, static_cast<const void *>(a), sizeof x);
	std::memcpy(&y, static_cast<const void *>(b), sizeof y);
	return (Lanes::Vector)Halves{x, y};
}

// p[0], p[step], p[2·step], p[3·step] into lanes 0 … 3.
inline Quad gather(const Complex<float> *p, int step)
{
	Lanes::Vector a = join(p, p + step), b = join(p + 2 * step, p + 3 * step);
	return deinterleave(a, b);
}

// Two complex numbers (re₀, im₀, re₁, im₁) in one vector: two 8-point
// leaves computed side by side, read from and written to separate places.
struct Pair
{
	Lanes::Vector v;

	friend Pair operator+(Pair a, Pair b) { return {a.v + b.v}; }
	friend Pair operator-(Pair a, Pair b) { return {a.v - b.v}; }
	friend Pair operator*(float a, Pair b) { return {a * b.v}; }

	static Pair load(const Complex<float> *p0, const Complex<float> *p1) { return {join(p0, p1)}; }

	// y[0 … 3]: four consecutive values of each number, stored as one split
	// group at p0 and one at p1.
	static void store_split(Complex<float> *p0, Complex<float> *p1, const Pair *y)
	{
		Lanes::Vector low = __builtin_shufflevector(y[0].v, y[1].v, 0, 4, 1, 5);
		Lanes::Vector high = __builtin_shufflevector(y[2].v, y[3].v, 0, 4, 1, 5);
		FFT::store_split(p0, halves(low, high));
		low = __builtin_shufflevector(y[0].v, y[1].v, 2, 6, 3, 7);
		high = __builtin_shufflevector(y[2].v, y[3].v, 2, 6, 3, 7);
		FFT::store_split(p1, halves(low, high));
	}
};

// SIGN·i·z on both numbers: swap real and imaginary parts, then flip the
// sign bit of one of them.
template <int SIGN>
inline Pair times_i(Pair z)
{
	typedef unsigned Bits __attribute__((vector_size(16)));
	constexpr unsigned s = 0x80000000u;
	constexpr Bits flip = SIGN < 0 ? Bits{0, s, 0, s} : Bits{s, 0, s, 0};
	Lanes::Vector swapped = __builtin_shufflevector(z.v, z.v, 1, 0, 3, 2);
	return {(Lanes::Vector)((Bits)swapped ^ flip)};
}

}
