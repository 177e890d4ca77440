#include <numbers>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/program.hh"

namespace {

const std::string channel = BURST_CHANNEL;

std::string pcm(const std::vector<double> &x)
{
	std::string out(2 * x.size(), 0);
	for (size_t i = 0; i < x.size(); ++i) {
		int16_t v = int16_t(std::lround(x[i]));
		out[2 * i] = char(v & 255), out[2 * i + 1] = char((v >> 8) & 255);
	}
	return out;
}

// The output samples of a run that must succeed.
std::vector<double> through(const std::string &args, const std::vector<double> &input)
{
	ProgramResult r = run_program(channel + " " + args, pcm(input));
	EXPECT_EQ(r.status, 0) << args << ": " << r.err;
	return samples_of<double>(r.out);
}

std::vector<double> tone(double freq, int rate, double seconds)
{
	std::vector<double> x(std::lround(seconds * rate));
	for (size_t n = 0; n < x.size(); ++n) x[n] = 8000 * std::cos(2 * std::numbers::pi * freq * n / rate);
	return x;
}

// Frequency of a tone near f0 from the mean phase advance between 10 ms
// blocks of its complex amplitude (mixed down and averaged).
double tone_frequency(const std::vector<double> &x, double f0, int rate)
{
	int block = rate / 100;
	std::vector<std::complex<double>> z(x.size() / block);
	for (size_t n = 0; n < z.size() * block; ++n)
		z[n / block] += x[n] * std::polar(1.0, -2 * std::numbers::pi * std::fmod(f0 * n, rate) / rate);
	std::complex<double> sum;
	for (size_t k = 1; k < z.size(); ++k) sum += z[k] * std::conj(z[k - 1]);
	return f0 + std::arg(sum) * 100 / (2 * std::numbers::pi);
}

// Silence in, noise out from the first sample: its power in 3 kHz is the
// reference level's power less the SNR.
TEST(Channel, NoiseFollowsSnrAgainstTheReferenceLevel)
{
	for (int rate : {8000, 48000})
		for (auto [snr, level] : {std::pair{10.0, -18.0}, {0.0, -30.0}, {20.0, -30.0}}) {
			auto y = through("-r " + std::to_string(rate) + " --snr " + std::to_string(snr) +
			                     " -l " + std::to_string(level),
			                 std::vector<double>(rate));
			double noise = 0, signal = std::pow(32768 * std::pow(10, level / 20), 2);
			for (double v : y) noise += v * v;
			EXPECT_NEAR(10 * std::log10(signal / (noise / y.size() * 3000 / (rate / 2.0))), snr,
			            0.1)
			    << snr;
		}
}

// Hum: each sine at its frequency and its level over the reference level.
TEST(Channel, HumAddsSinesAtTheirLevels)
{
	auto y = through("-r 8000 -l -30 -H 60:10 -H 180:4", std::vector<double>(8000));
	for (auto [hz, db] : {std::pair{60.0, 10.0}, {180.0, 4.0}}) {
		std::complex<double> z;
		for (size_t n = 0; n < y.size(); ++n) z += y[n] * std::polar(1.0, -2 * std::numbers::pi * hz * n / 8000);
		double rms = std::abs(z) / y.size() * std::sqrt(2.0) / 32768;
		EXPECT_NEAR(20 * std::log10(rms), -30 + db, 0.05) << hz;
	}
}

// A frequency offset adds to a tone's frequency and keeps the length; a clock
// offset scales both, and its band-limited interpolation keeps the level.
TEST(Channel, FrequencyAndClockOffsetsMoveTone)
{
	for (int rate : {8000, 48000}) {
		std::string args = "-r " + std::to_string(rate);
		auto x = tone(1000, rate, 3);
		for (double cfo : {37.5, -0.3}) {
			auto y = through(args + " -f " + std::to_string(cfo), x);
			ASSERT_EQ(y.size(), x.size());
			EXPECT_NEAR(tone_frequency(y, 1000, rate), 1000 + cfo, 0.01) << cfo;
		}
		for (double ppm : {500.0, -2000.0}) {
			double factor = 1 + ppm * 1e-6, power = 0;
			auto y = through(args + " --ppm " + std::to_string(ppm), x);
			EXPECT_NEAR(double(y.size()), x.size() / factor, 2);
			EXPECT_NEAR(tone_frequency(y, 1000, rate), 1000 * factor, 0.01) << ppm;
			for (size_t n = rate / 10; n < y.size() - rate / 10; ++n) power += y[n] * y[n];
			EXPECT_NEAR(power / (y.size() - rate / 5), 8000.0 * 8000 / 2,
			            8000.0 * 8000 / 2 * 0.001);
		}
	}
}

// The output flows while the input is still open (here it never ends: the
// program is stopped after a second), and comes out the same however the
// input is cut into reads, the random processes following the seed alone.
TEST(Channel, StreamsItsInputInBlocks)
{
	std::vector<double> x = tone(1000, 8000, 2);
	std::string args = " -r 8000 -n 10 -F poor -f 5 -p 20 -e 3:0.5 -b 300:3000 -s 4";
	ProgramResult open = run_program("{ cat; sleep 2; } | timeout 1 " + channel + args, pcm(x));
	EXPECT_GT(open.out.size(), pcm(x).size() * 9 / 10);
	ProgramResult cut =
	    run_program("{ dd bs=1001 count=1 2>/dev/null; sleep 0.2; cat; } | " + channel + args, pcm(x));
	EXPECT_TRUE(cut.out == run_program(channel + args, pcm(x)).out);
	EXPECT_TRUE(cut.out != run_program(channel + args + "1", pcm(x)).out);
}

// The echo is exact: the input plus a copy 12.5 ms later at gain -0.5; the
// band pass is flat inside 300 to 3000 Hz and 40 dB down well outside.
TEST(Channel, EchoAndBandPass)
{
	std::vector<double> x(8000);
	x[100] = 10000, x[3000] = -20000;
	auto y = through("-r 8000 --echo 12.5:-0.5", x);
	ASSERT_EQ(y.size(), x.size());
	for (size_t n = 0; n < y.size(); ++n) ASSERT_EQ(y[n], x[n] + (n >= 100 ? -0.5 * x[n - 100] : 0)) << n;
	for (auto [freq, low, high] :
	     {std::tuple{1000.0, -0.1, 0.1}, {2000.0, -0.5, 0.5}, {100.0, -200, -40}, {8000.0, -200, -40}}) {
		auto z = through("-r 48000 --ssb 300:3000", tone(freq, 48000, 1));
		double p = 0;
		for (size_t n = 24000; n < z.size(); ++n) p += z[n] * z[n];
		double gain = 10 * std::log10(p / (z.size() - 24000) / (8000.0 * 8000 / 2));
		EXPECT_TRUE(gain > low && gain < high) << freq << " Hz: " << gain << " dB";
	}
}

// Clipped samples are counted; a refused command line writes nothing.
TEST(Channel, ClippingAndRefusals)
{
	auto loud = run_program(channel + " -r 8000 --echo 1:1", pcm(std::vector<double>(1000, 30000)));
	EXPECT_EQ(loud.err, "burst_channel: 992 of 1000 samples clipped at full scale\n");
	EXPECT_EQ(samples_of(loud.out)[999], 32767);
	for (auto [args, status] :
	     {std::pair{"--rate 100", 1}, {"-e 0:0.5", 1}, {"--bogus", 2}, {"extra", 2}}) {
		auto r = run_program(channel + " " + args, pcm(tone(1000, 8000, 0.1)));
		EXPECT_EQ(r.status, status) << args;
		EXPECT_EQ(r.out, "") << args;
		EXPECT_EQ(r.err.rfind("burst_channel: ", 0), 0u) << args;
	}
	EXPECT_EQ(run_program(channel, "abc").err,
	          "burst_channel: standard input ends in the middle of a sample\n");
}

// Impulses every 10 ms: the mean output power against the lag after each
// impulse shows the second path at the profile's delay.
TEST(Channel, FadingHasTheSecondPathOfEachProfile)
{
	for (auto [name, delay_ms] : {std::pair{"good", 0.5}, {"moderate", 1.0}, {"poor", 2.0}}) {
		int period = 480, delay = std::lround(delay_ms * 48);
		std::vector<double> x(30 * 48000);
		for (size_t n = period; n < x.size(); n += period) x[n] = 20000;
		auto y = through(std::string("-r 48000 -s 3 -F ") + name, x);
		std::vector<double> profile(period);
		for (size_t n = period; n + period < y.size(); n += period)
			for (int l = 0; l < period; ++l) profile[l] += y[n + l] * y[n + l];
		EXPECT_EQ(std::max_element(profile.begin() + 8, profile.begin() + 200) - profile.begin(),
		          delay);
		EXPECT_TRUE(profile[delay] / profile[0] > 0.1 && profile[delay] / profile[0] < 10) << name;
	}
}

}
