#pragma once

#include <cmath>

namespace DSP {

// A plain pair (re, im): the product is the schoolbook one, evaluated in the
// order written, so that results do not depend on a library's complex type.
template <typename T>
struct Complex
{
	T re = 0, im = 0;

	constexpr Complex() = default;
	constexpr Complex(T re, T im = 0) : re(re), im(im) {}

	constexpr Complex &operator+=(Complex b) { re += b.re; im += b.im; return *this; }
	constexpr Complex &operator-=(Complex b) { re -= b.re; im -= b.im; return *this; }
	constexpr Complex &operator*=(Complex b) { return *this = *this * b; }
	constexpr Complex &operator*=(T b) { re *= b; im *= b; return *this; }
	constexpr Complex &operator/=(T b) { re /= b; im /= b; return *this; }

	friend constexpr Complex operator+(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
	friend constexpr Complex operator-(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }
	friend constexpr Complex operator-(Complex a) { return {-a.re, -a.im}; }
	friend constexpr Complex operator*(Complex a, Complex b)
	{
		return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
	}
	friend constexpr Complex operator*(Complex a, T b) { return {a.re * b, a.im * b}; }
	friend constexpr Complex operator*(T a, Complex b) { return {a * b.re, a * b.im}; }
	friend constexpr Complex operator/(Complex a, T b) { return {a.re / b, a.im / b}; }
	friend constexpr bool operator==(Complex a, Complex b) { return a.re == b.re && a.im == b.im; }
};

template <typename T>
constexpr Complex<T> conj(Complex<T> a) { return {a.re, -a.im}; }

// Squared magnitude.
template <typename T>
constexpr T norm(Complex<T> a) { return a.re * a.re + a.im * a.im; }

// The angle, in [-pi, pi], from the C library's double atan2: its float one
// differs in the last bit between x86-64 and aarch64, and a faded burst can
// be received by another try for that.
template <typename T>
inline T arg(Complex<T> a) { return T(std::atan2(double(a.im), double(a.re))); }

}
