#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/program.hh"
#include "tools/sim/signal_power.hh"

namespace {

using cd = std::complex<double>;

std::string pcm(const std::vector<double> &x)
{
	std::string out(2 * x.size(), 0);
	for (size_t i = 0; i < x.size(); ++i) {
		int16_t v = int16_t(std::lround(x[i]));
		out[2 * i] = char(v & 255), out[2 * i + 1] = char((v >> 8) & 255);
	}
	return out;
}

ProgramResult channel(const std::string &args, const std::vector<double> &input)
{
	return run_program(std::string(CHANNEL) + " " + args, pcm(input));
}

// The output samples of a run that must succeed.
std::vector<double> through(const std::string &args, const std::vector<double> &input)
{
	ProgramResult r = channel(args, input);
	EXPECT_EQ(r.status, 0) << args << ": " << r.err;
	return samples_of<double>(r.out);
}

std::vector<double> tone(double freq, int rate, double seconds, double amplitude = 8000)
{
	std::vector<double> x(std::lround(seconds * rate));
	for (size_t n = 0; n < x.size(); ++n) x[n] = amplitude * std::cos(2 * M_PI * freq * n / rate);
	return x;
}

// Complex amplitude of the component near f0 in 10 ms blocks: mixed down and averaged.
std::vector<cd> baseband(const std::vector<double> &x, double f0, int rate)
{
	int block = rate / 100;
	std::vector<cd> z(x.size() / block);
	for (size_t k = 0; k < z.size(); ++k)
		for (int i = 0; i < block; ++i) {
			long n = k * block + i;
			z[k] += x[n] * std::polar(1.0, -2 * M_PI * std::fmod(f0 * n, rate) / rate);
		}
	return z;
}

// Frequency of a tone near f0 from the mean phase advance between blocks.
double tone_frequency(const std::vector<double> &x, double f0, int rate)
{
	auto z = baseband(x, f0, rate);
	cd sum;
	for (size_t k = 1; k < z.size(); ++k) sum += z[k] * std::conj(z[k - 1]);
	return f0 + std::arg(sum) * 100 / (2 * M_PI);
}

// Bursts of 16 tones with random phases between silent gaps.
std::vector<double> gated_signal(int rate)
{
	std::vector<double> x(2 * rate);
	for (int t = 0; t < 16; ++t) {
		double f = 500 + 125 * t, phase = t * t * 0.7;
		for (int n = rate / 4; n < 3 * rate / 4; ++n)
			x[n] += 700 * std::cos(2 * M_PI * f * n / rate + phase);
		for (int n = rate; n < 7 * rate / 4; ++n)
			x[n] += 700 * std::cos(2 * M_PI * f * n / rate - phase);
	}
	return x;
}

class ChannelRate : public testing::TestWithParam<int>
{
      protected:
	int rate = GetParam();
	std::string args = "--rate " + std::to_string(rate);
};

INSTANTIATE_TEST_SUITE_P(Rates, ChannelRate, testing::Values(8000, 48000));

// White noise at the SNR requested in 3 kHz, against the power of the non-silent part of the input.
TEST_P(ChannelRate, NoiseMatchesRequestedSnrIn3kHz)
{
	auto x = gated_signal(rate);
	double signal = 0;
	long active = 0;
	for (double v : x)
		if (v != 0) signal += v * v, ++active;
	signal /= active;
	for (double snr : {-5.0, 10.0, 30.0}) {
		auto y = through(args + " --snr " + std::to_string(snr) + " --seed 7", x);
		ASSERT_EQ(y.size(), x.size());
		double noise = 0;
		for (size_t i = 0; i < x.size(); ++i) noise += (y[i] - x[i]) * (y[i] - x[i]);
		EXPECT_NEAR(10 * std::log10(signal / (noise / x.size() * 3000 / (rate / 2.0))), snr, 0.2);
	}
}

// A frequency offset adds to a tone's frequency and keeps the length; a clock offset scales both, and its
// band-limited interpolation keeps the level of an in-band tone.
TEST_P(ChannelRate, FrequencyAndClockOffsetsMoveTone)
{
	auto x = tone(1000, rate, 3);
	for (double cfo : {37.5, -12.25, 0.3}) {
		auto y = through(args + " --cfo " + std::to_string(cfo), x);
		ASSERT_EQ(y.size(), x.size());
		EXPECT_NEAR(tone_frequency(y, 1000, rate), 1000 + cfo, 0.01) << cfo;
	}
	x = tone(1500, rate, 3);
	for (double ppm : {500.0, -2000.0}) {
		double factor = 1 + ppm * 1e-6, power = 0;
		auto y = through(args + " --ppm " + std::to_string(ppm), x);
		EXPECT_NEAR(double(y.size()), x.size() / factor, 2);
		EXPECT_NEAR(tone_frequency(y, 1500, rate), 1500 * factor, 0.01) << ppm;
		for (size_t n = rate / 10; n < y.size() - rate / 10; ++n) power += y[n] * y[n];
		EXPECT_NEAR(power / (y.size() - rate / 5), 8000.0 * 8000 / 2, 8000.0 * 8000 / 2 * 0.001);
	}
}

// The echo is exact: the input plus a copy 12.5 ms later at gain -0.5.
TEST(Channel, EchoAddsDelayedScaledCopy)
{
	std::vector<double> x(8000);
	x[100] = 10000, x[3000] = -20000;
	auto y = through("--rate 8000 --echo 12.5:-0.5", x);
	ASSERT_EQ(y.size(), x.size());
	for (size_t n = 0; n < y.size(); ++n) ASSERT_EQ(y[n], x[n] + (n >= 100 ? -0.5 * x[n - 100] : 0)) << n;
}

// Gain of the 300 to 3000 Hz band pass: flat inside, at least 40 dB down well outside.
TEST(Channel, BandPassKeepsPassbandAndRejectsOutside)
{
	auto level = [](double freq) {
		auto y = through("--rate 48000 --ssb 300:3000", tone(freq, 48000, 1));
		double p = 0;
		for (size_t n = 24000; n < y.size(); ++n) p += y[n] * y[n];
		return 10 * std::log10(p / (y.size() - 24000) / (8000.0 * 8000 / 2));
	};
	EXPECT_NEAR(level(1000), 0, 0.1);
	EXPECT_NEAR(level(2000), 0, 0.5);
	EXPECT_LT(level(100), -40);
	EXPECT_LT(level(8000), -40);
}

// Every random process follows the seed alone.
TEST(Channel, SameSeedSameBytes)
{
	auto x = gated_signal(8000);
	std::string args = "--rate 8000 --snr 3 --fading moderate --cfo 5 --ppm 20 --ssb 300:3000 --seed ";
	auto a = channel(args + "11", x), b = channel(args + "11", x), c = channel(args + "12", x);
	ASSERT_EQ(a.status, 0) << a.err;
	EXPECT_EQ(a.out, b.out);
	EXPECT_NE(a.out, c.out);
	EXPECT_EQ(a.out.size(), c.out.size());
}

// Samples beyond full scale are cut and counted, and nothing is said when none are.
TEST(Channel, ClippingIsCountedOnStandardError)
{
	std::vector<double> x(1000, 30000);
	auto r = channel("--rate 8000 --echo 1:1", x);
	ASSERT_EQ(r.status, 0);
	EXPECT_NE(r.err.find("992 of 1000 samples clipped"), std::string::npos) << r.err;
	auto y = samples_of(r.out);
	EXPECT_EQ(y[0], 30000);
	EXPECT_EQ(y[999], 32767);
	EXPECT_EQ(channel("--rate 8000", x).err, "");
}

// Bad arguments and an odd byte count fail with status 1 and no sound.
TEST(Channel, ArgumentErrorsWriteNothing)
{
	for (const char *args :
	     {"--bogus", "--rate", "--rate 100", "--snr x", "--snr 1e999", "--cfo 5000 --rate 8000",
	      "--ppm 1e6", "--echo 5", "--echo 0:0.5", "--echo 5:x", "--fading awful", "--ssb 3000:300",
	      "--ssb 300:30000", "--seed -1", "extra"}) {
		auto r = channel(args, tone(1000, 8000, 0.1));
		EXPECT_EQ(r.status, 1) << args;
		EXPECT_EQ(r.out, "") << args;
		EXPECT_NE(r.err.find("channel: "), std::string::npos) << args;
	}
	auto odd = run_program(std::string(CHANNEL), "abc");
	EXPECT_EQ(odd.status, 1);
	EXPECT_EQ(odd.out, "");
}

struct Profile
{
	const char *name;
	double delay_ms, spread_hz;
};

class Fading : public testing::TestWithParam<Profile>
{
};

INSTANTIATE_TEST_SUITE_P(Profiles, Fading,
                         testing::Values(Profile{"good", 0.5, 0.1}, Profile{"moderate", 1, 0.5},
                                         Profile{"poor", 2, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

// Impulses every 10 ms: the mean output power against the lag after each impulse shows the two paths, at lag
// 0 and at the profile's delay.
TEST_P(Fading, SecondPathAtProfileDelay)
{
	int rate = 48000, period = 480, delay = std::lround(GetParam().delay_ms * rate / 1000);
	std::vector<double> x(30 * rate);
	for (size_t n = period; n < x.size(); n += period) x[n] = 20000;
	auto y = through(std::string("--rate 48000 --seed 3 --fading ") + GetParam().name, x);
	std::vector<double> profile(period);
	for (size_t n = period; n + period < y.size(); n += period)
		for (int l = 0; l < period; ++l) profile[l] += y[n + l] * y[n + l];
	EXPECT_EQ(std::max_element(profile.begin() + 8, profile.begin() + 200) - profile.begin(), delay);
	EXPECT_GT(profile[delay] / profile[0], 0.1);
	EXPECT_LT(profile[delay] / profile[0], 10);
}

// A tone's complex gain decorrelates as exp(-2π²σ²Δ²) for a Gaussian Doppler spectrum of standard deviation
// σ, half the profile's frequency spread.
TEST_P(Fading, DopplerSpreadOfToneGain)
{
	double sigma = GetParam().spread_hz / 2, seconds = 20 / sigma, lag = 0.1 / sigma;
	auto y = through(std::string("--rate 8000 --seed 5 --fading ") + GetParam().name,
	                 tone(1000, 8000, seconds));
	auto z = baseband(y, 1000, 8000);
	size_t m = std::lround(lag * 100);
	double power = 0, change = 0;
	for (size_t k = 0; k < z.size(); ++k) power += std::norm(z[k]);
	for (size_t k = m; k < z.size(); ++k) change += std::norm(z[k] - z[k - m]);
	power /= z.size(), change /= z.size() - m;
	double estimate = std::sqrt(-std::log(1 - change / (2 * power)) / (2 * M_PI * M_PI * lag * lag));
	EXPECT_NEAR(estimate, sigma, 0.25 * sigma);
}

// Mean power of the part above the floor of the strongest 10 ms block; 0 for silence.
TEST(SignalPower, MeasuresOnlyTheNonSilentPart)
{
	std::vector<double> x(8000);
	for (int n = 1234; n < 5678; ++n) x[n] = n % 2 ? 300 : -300;
	EXPECT_NEAR(signal_power(x, 8000), 90000, 1e-6);
	x[7000] = 1; // far below the floor of the strongest block
	EXPECT_NEAR(signal_power(x, 8000), 90000, 1e-6);
	EXPECT_EQ(signal_power(std::vector<double>(100), 8000), 0);
}

}
