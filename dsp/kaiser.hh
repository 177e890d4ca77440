#pragma once

#include "dsp/kahan.hh"

#include <cmath>
#include <numbers>

namespace DSP {

template <typename TYPE>
struct Kaiser;

// Kaiser window with β = 2π.
template <>
struct Kaiser<float>
{
	// Zeroth-order modified Bessel function of the first kind: the series
	// Σ ((x/2)^m / m!)², compensated, stopped once a term changes nothing
	// (at most 34 terms). The compensation is not folded back into the sum.
	static float i0(float x)
	{
		Kahan<float> acc(1.f);
		float term = 1.f, sum = acc.sum, compensation = acc.compensation;
		for (int d = 2; d <= 69; d += 2) {
			term = term * (x / float(d));
			acc(term * term);
			if (acc.compensation == compensation && acc.sum == sum) break;
			sum = acc.sum;
			compensation = acc.compensation;
		}
		return acc.sum;
	}

	// Window value at tap n of a taps-long window, 1 at the centre. The root
	// is taken in double, the Bessel argument rounded back to float.
	float operator()(int n, int taps) const
	{
		float r = float(2 * n) / float(taps - 1) - 1.f;
		double q = std::sqrt(double(1.f - r * r));
		float x = float(q * double(beta));
		return i0(x) / i0(beta);
	}

	static constexpr float beta = 2 * std::numbers::pi_v<float>;
};

}
