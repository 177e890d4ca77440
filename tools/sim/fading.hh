#pragma once

#include <cmath>
#include <vector>

#include "dsp/complex.hh"
#include "tools/sim/random.hh"

// Watterson's two-path HF channel: two independent Rayleigh-faded paths of
// equal mean power, the second delayed, each with a Gaussian Doppler spectrum.
// Delay and frequency spread follow the CCIR/ITU-R profiles; the frequency
// spread is twice the standard deviation of the Doppler spectrum.
struct FadingProfile
{
	const char *name;
	double delay_ms, spread_hz;
};

inline constexpr FadingProfile fading_profiles[] = {
	{"good", 0.5, 0.1},
	{"moderate", 1, 0.5},
	{"poor", 2, 1},
};

// length complex gains of one path at rate Hz, mean power `power`, Doppler
// spectrum exp(-f²/(2σ²)) with σ = sigma Hz: complex white Gaussian noise at
// 100 values per second through a Gaussian filter (impulse response
// exp(-t²/(2τ²)), τ = 1/(2√2·π·σ), cut at ±4τ and normalised to unit power
// gain), then interpolated linearly to the sample rate.
inline std::vector<DSP::Complex<double>> rayleigh_gains(long length, int rate, double sigma, double power,
							 Random &rng)
{
	constexpr double update_rate = 100;
	double tau = 1 / (2 * std::sqrt(2.0) * M_PI * sigma);
	int half = int(std::ceil(4 * tau * update_rate));
	std::vector<double> taps(2 * half + 1);
	double energy = 0;
	for (int k = -half; k <= half; ++k) {
		double t = k / update_rate;
		energy += (taps[k + half] = std::exp(-t * t / (2 * tau * tau))) * taps[k + half];
	}
	for (auto &t : taps) t *= std::sqrt(power / energy);
	long updates = long(length / (rate / update_rate)) + 2;
	std::vector<DSP::Complex<double>> noise(updates + 2 * half), slow(updates);
	for (auto &w : noise) w = {rng.gaussian() * std::sqrt(0.5), rng.gaussian() * std::sqrt(0.5)};
	for (long m = 0; m < updates; ++m)
		for (int k = 0; k <= 2 * half; ++k) slow[m] += noise[m + k] * taps[k];
	std::vector<DSP::Complex<double>> gains(length);
	for (long n = 0; n < length; ++n) {
		double t = n * update_rate / rate;
		long m = long(t);
		double w = t - m;
		gains[n] = slow[m] * (1 - w) + slow[m + 1] * w;
	}
	return gains;
}
