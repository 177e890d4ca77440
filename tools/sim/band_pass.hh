#pragma once

#include <cmath>
#include <numbers>

#include "dsp/biquad.hh"

// A receiver's band-pass: a Butterworth high-pass at low Hz cascaded with a
// Butterworth low-pass at high Hz, each of order 2·SECTIONS, designed by the
// bilinear transform (the edges are the -3 dB points).
template <int SECTIONS = 3>
class BandPass
{
	typedef DSP::Biquad<double, double> Biquad;
	Biquad high[SECTIONS], low[SECTIONS];

	static Biquad section(double freq, int rate, double q, bool high_pass)
	{
		double w = 2 * std::numbers::pi * freq / rate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
		double a0 = 1 + alpha, g = high_pass ? (1 + c) / 2 : (1 - c) / 2;
		Biquad s;
		s.b0 = g / a0;
		s.b1 = (high_pass ? -2 : 2) * g / a0;
		s.b2 = g / a0;
		s.a1 = -2 * c / a0;
		s.a2 = (1 - alpha) / a0;
		return s;
	}

public:
	BandPass(double low_hz, double high_hz, int rate)
	{
		for (int k = 0; k < SECTIONS; ++k) {
			double q = 1 / (2 * std::sin((2 * k + 1) * std::numbers::pi / (4 * SECTIONS)));
			high[k] = section(low_hz, rate, q, true);
			low[k] = section(high_hz, rate, q, false);
		}
	}

	double operator()(double x)
	{
		for (auto &s : high) x = s(x);
		for (auto &s : low) x = s(x);
		return x;
	}
};
