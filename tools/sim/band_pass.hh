#pragma once

#include <cmath>

// Second-order section, direct form I, in double precision.
struct Biquad
{
	double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
	double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

	double operator()(double x)
	{
		double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
		x2 = x1, x1 = x, y2 = y1, y1 = y;
		return y;
	}
};

// A receiver's band-pass: a Butterworth high-pass at low Hz cascaded with a
// Butterworth low-pass at high Hz, each of order 2·SECTIONS, designed by the
// bilinear transform (the edges are the -3 dB points).
template <int SECTIONS = 3>
class BandPass
{
	Biquad high[SECTIONS], low[SECTIONS];

	static Biquad section(double freq, int rate, double q, bool high_pass)
	{
		double w = 2 * M_PI * freq / rate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
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
			double q = 1 / (2 * std::sin((2 * k + 1) * M_PI / (4 * SECTIONS)));
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
