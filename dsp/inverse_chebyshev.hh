#pragma once

#include <cmath>
#include <numbers>

#include "dsp/biquad.hh"

namespace DSP {

// High-pass of even order 2·SECTIONS with a flat pass band and an
// equiripple stop band: at most -attenuation_db from 0 Hz up to stop_hz.
// Of the classic responses it has the steepest edge with no ripple where
// the wanted signal lies. Designed from the analog prototype by the
// bilinear transform, in double; each section has unit gain at half the
// sample rate.
template <int SECTIONS, typename SAMPLE>
void inverse_chebyshev_high_pass(Biquad<SAMPLE> *sections, double stop_hz, double rate, double attenuation_db)
{
	constexpr int order = 2 * SECTIONS;
	const double pi = std::numbers::pi;
	double epsilon = 1 / std::sqrt(std::pow(10, attenuation_db / 10) - 1);
	double mu = std::asinh(1 / epsilon) / order;
	double edge = std::tan(pi * stop_hz / rate); // prewarped, for s = (z - 1)/(z + 1)
	for (int k = 0; k < SECTIONS; ++k) {
		double theta = pi * (2 * k + 1) / (2 * order);
		// Low-pass poles are the inverses of the Chebyshev type I poles
		// sk; the map s -> edge/s to a high-pass takes them to edge·sk.
		double pre = -edge * std::sinh(mu) * std::sin(theta), pim = edge * std::cosh(mu) * std::cos(theta);
		// z = (1 + s)/(1 - s)
		double den = (1 - pre) * (1 - pre) + pim * pim;
		double zre = (1 - pre * pre - pim * pim) / den, zim = 2 * pim / den;
		// Zeros on the imaginary axis at ±j·edge·cos θ, on the unit circle
		// at the angle 2·atan of that.
		double phi = 2 * std::atan(edge * std::cos(theta));
		double b1 = -2 * std::cos(phi), a1 = -2 * zre, a2 = zre * zre + zim * zim;
		double gain = (1 - a1 + a2) / (2 - b1); // unit gain at z = -1
		Biquad<SAMPLE> &s = sections[k];
		s.b0 = float(gain);
		s.b1 = float(gain * b1);
		s.b2 = float(gain);
		s.a1 = float(a1);
		s.a2 = float(a2);
	}
}

}
