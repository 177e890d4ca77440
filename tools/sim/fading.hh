#pragma once

#include <numbers>
#include <cmath>
#include <deque>
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

// The complex gains of one path at rate Hz, one per sample, of mean power
// `power` and Doppler spectrum exp(-f²/(2σ²)) with σ = sigma Hz: complex
// white Gaussian noise at 100 values per second through a Gaussian filter
// (impulse response exp(-t²/(2τ²)), τ = 1/(2√2·π·σ), cut at ±4τ and
// normalised to unit power gain), interpolated linearly to the sample rate.
class RayleighPath
{
	static constexpr double update_rate = 100;
	int rate;
	Random rng;
	std::vector<double> taps;
	std::deque<DSP::Complex<double>> noise; // the filter's input for slow[m] and slow[m + 1]
	DSP::Complex<double> slow[2];           // filtered values m and m + 1
	long m = 0, n = 0;

	DSP::Complex<double> draw() { return {rng.gaussian() * std::sqrt(0.5), rng.gaussian() * std::sqrt(0.5)}; }

	DSP::Complex<double> filtered(size_t first) const
	{
		DSP::Complex<double> sum;
		for (size_t k = 0; k < taps.size(); ++k) sum += noise[first + k] * taps[k];
		return sum;
	}

public:
	RayleighPath(int rate, double sigma, double power, uint64_t seed) : rate(rate), rng(seed)
	{
		double tau = 1 / (2 * std::sqrt(2.0) * std::numbers::pi * sigma);
		int half = int(std::ceil(4 * tau * update_rate));
		double energy = 0;
		for (int k = -half; k <= half; ++k) {
			double t = k / update_rate;
			taps.push_back(std::exp(-t * t / (2 * tau * tau)));
			energy += taps.back() * taps.back();
		}
		for (auto &t : taps) t *= std::sqrt(power / energy);
		for (size_t k = 0; k <= taps.size(); ++k) noise.push_back(draw());
		slow[0] = filtered(0), slow[1] = filtered(1);
	}

	DSP::Complex<double> next()
	{
		double t = n++ * update_rate / rate;
		while (long(t) > m) {
			noise.pop_front();
			noise.push_back(draw());
			slow[0] = slow[1], slow[1] = filtered(1);
			++m;
		}
		double w = t - m;
		return slow[0] * (1 - w) + slow[1] * w;
	}
};
