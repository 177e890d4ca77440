#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "tests/air.hh"

// The enhanced receiver's second preamble search, on the audio band, through
// whole receivers: what blinds or drowns the whole-band search.

namespace {

template <typename V> struct AudioBand : testing::Test {};
TYPED_TEST_SUITE(AudioBand, AllVariants, VariantName);

// Mains hum of fundamental hz at 10 dB above the level of bursts at dbfs,
// harmonics up to 300 Hz at 4 dB above it.
Sound hum(Sound sound, double hz, int rate, double dbfs)
{
	for (int h = 1; h * hz <= 300; ++h) {
		double amplitude = std::sqrt(2.0) * std::pow(10, (dbfs + (h == 1 ? 10 : 4)) / 20);
		for (size_t n = 0; n < sound.size(); ++n)
			sound[n] += amplitude * std::sin(2 * std::numbers::pi * std::fmod(h * hz * n, rate) / rate);
	}
	return sound;
}

// A steady tone looks like an endless repetition to the whole-band search;
// the band search hears the bursts under it, one at the usual centre and one
// whose carriers reach down among the harmonics.
TYPED_TEST(AudioBand, HearsBurstsUnderMainsHum)
{
	typedef TypeParam V;
	const double level = -30;
	Sound sound = silence(0.5, V::rate) + burst<V>("over the hum", 16, 1500, level) + silence(0.5, V::rate) +
		      burst<V>("among the harmonics", 16, 1100, level) + silence(0.5, V::rate);
	const std::vector<std::string> sent = {"over the hum", "among the harmonics"};
	for (double hz : {50.0, 60.0}) {
		Sound hummed = hum(sound, hz, V::rate, level);
		EXPECT_EQ(receive<V>(hummed), std::vector<std::string>{}) << hz;
		EXPECT_EQ(payloads(receive<V>(hummed, Demodulator::enhanced)), sent) << hz;
	}
}

// Both searches find a clean burst, the band search up to 100 samples
// later; where a period of the receiver ends in between, each hands it over
// on its own. Bursts placed so that the whole-band search finds them 5 to 1
// samples before the end of a period, and 0 to 2 after it, give one SYNC each.
TYPED_TEST(AudioBand, ReportsEachBurstOnce)
{
	typedef TypeParam V;
	// Samples from the start of a burst to its detection by the whole-band
	// search, as measured.
	const long found_after = V::rate == 8000 ? 4988 : 29929;
	Sound sound;
	std::vector<std::string> sent;
	for (int i = 0; i < 8; ++i) {
		sent.push_back("burst " + std::to_string(i));
		long start = sound.size() + 3 * V::extended;
		start += (V::extended - 5 + i - (start + found_after) % V::extended + V::extended) % V::extended;
		sound = mix(sound, burst<V>(sent.back(), 16, 1500), start);
	}
	std::vector<std::string> lines = receive<V>(sound + silence(0.3, V::rate), Demodulator::enhanced);
	EXPECT_EQ(payloads(lines), sent);
	EXPECT_EQ(lines.size(), 2 * sent.size());
}

// White noise over the whole band: at 48000 Hz six times as much of it
// reaches the whole-band search as at 8000 Hz, and here too much for it.
TYPED_TEST(AudioBand, HearsBurstsInWholeBandNoise)
{
	typedef TypeParam V;
	const double level = -30, snr = V::mapping == 8 ? 7 : 4; // in 3 kHz
	Sound sound = silence(0.5, V::rate);
	std::vector<std::string> sent;
	for (int i = 0; i < 3; ++i) {
		sent.push_back("burst " + std::to_string(i));
		sound = sound + burst<V>(sent.back(), 16, 1500, level) + silence(0.5, V::rate);
	}
	std::mt19937 random(11);
	double deviation = std::pow(10, (level - snr) / 20) * std::sqrt(V::rate / 2 / 3000.0);
	std::normal_distribution<double> gauss(0, deviation);
	for (double &x : sound) x += gauss(random);
	if (V::rate == 48000) {
		EXPECT_EQ(payloads(receive<V>(sound)), std::vector<std::string>{});
	}
	EXPECT_EQ(payloads(receive<V>(sound, Demodulator::enhanced)), sent);
}

}
