// Channel simulator: reads signed 16-bit little-endian mono PCM on standard
// input, degrades it like an audio path or an HF radio link, and writes the
// result in the same format on standard output. The output is aligned with
// the input sample for sample (apart from --ppm, which stretches it) and the
// same seed always gives the same output.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "dsp/complex.hh"
#include "tools/options.hh"
#include "tools/sim/analytic.hh"
#include "tools/sim/band_pass.hh"
#include "tools/sim/fading.hh"
#include "tools/sim/random.hh"
#include "tools/sim/resampler.hh"
#include "tools/sim/signal_power.hh"

namespace {

const char usage[] = R"(Usage: channel [OPTION]... < in.raw > out.raw
Degrades signed 16-bit little-endian mono PCM, in this order: sample clock
offset, echo, fading, frequency offset, noise, band-pass, rounding.

  --rate HZ            sample rate of the input (default 48000)
  --snr DB             add white Gaussian noise: DB is the power of the input
                       over its non-silent part against the noise power in a
                       3 kHz bandwidth (default: no noise)
  --cfo HZ             shift every frequency by HZ (default 0)
  --ppm PPM            sample clock offset: the input resampled so that every
                       frequency rises by PPM parts per million (default 0)
  --echo MS:GAIN       add a copy delayed by MS milliseconds (rounded to whole
                       samples) and scaled by GAIN
  --fading PROFILE     Watterson two-path Rayleigh fading of equal mean power
                       paths: good (0.5 ms delay, 0.1 Hz Doppler spread),
                       moderate (1 ms, 0.5 Hz) or poor (2 ms, 1 Hz);
                       mean power gain 1
  --ssb LOW:HIGH       a radio's band-pass from LOW to HIGH Hz after the
                       noise, for example 300:3000 (6th-order Butterworth edges)
  --seed N             seed of the noise and the fading (default 1)
  --help               show this text

Samples beyond full scale are clipped; their number is reported on standard error.
)";

struct Settings
{
	long rate = 48000, seed = 1;
	double snr = NAN, cfo = 0, ppm = 0, echo_ms = 0, echo_gain = 0, ssb_low = 0, ssb_high = 0;
	const FadingProfile *fading = nullptr;
};

Settings parse(int argc, char **argv)
{
	Settings set;
	Options opt(argc, argv);
	auto bad = [&opt](const char *v, const char *range) {
		return Failure{"invalid value for " + opt.name + ": " + v + " (" + range + ")"};
	};
	while (opt.next()) {
		const std::string &name = opt.name;
		if (name == "--help") {
			std::fputs(usage, stdout);
			std::exit(0);
		} else if (name == "--rate") {
			const char *v = opt.required();
			if (!parse_number(v, &set.rate) || set.rate < 1000 || set.rate > 384000)
				throw bad(v, "1000 to 384000 Hz");
		} else if (name == "--snr") {
			const char *v = opt.required();
			if (!parse_number(v, &set.snr) || std::abs(set.snr) > 200) throw bad(v, "-200 to 200 dB");
		} else if (name == "--cfo") {
			const char *v = opt.required();
			if (!parse_number(v, &set.cfo)) throw bad(v, "a frequency in Hz");
		} else if (name == "--ppm") {
			const char *v = opt.required();
			if (!parse_number(v, &set.ppm) || std::abs(set.ppm) > 10000) throw bad(v, "-10000 to 10000");
		} else if (name == "--echo") {
			const char *v = opt.required();
			if (!parse_pair(v, &set.echo_ms, &set.echo_gain) || set.echo_ms <= 0 || set.echo_ms > 10000 ||
			    std::abs(set.echo_gain) > 10)
				throw bad(v, "MS:GAIN with 0 < MS <= 10000 and |GAIN| <= 10");
		} else if (name == "--fading") {
			const char *v = opt.required();
			set.fading = nullptr;
			for (auto &p : fading_profiles)
				if (std::strcmp(v, p.name) == 0) set.fading = &p;
			if (!set.fading) throw bad(v, "good, moderate or poor");
		} else if (name == "--ssb") {
			const char *v = opt.required();
			if (!parse_pair(v, &set.ssb_low, &set.ssb_high) || set.ssb_low <= 0 || set.ssb_high <= set.ssb_low)
				throw bad(v, "LOW:HIGH with 0 < LOW < HIGH");
		} else if (name == "--seed") {
			const char *v = opt.required();
			if (!parse_number(v, &set.seed) || set.seed < 0) throw bad(v, "a number from 0 up");
		} else {
			throw Failure{"unknown option: " + name + " (see --help)"};
		}
	}
	if (std::abs(set.cfo) >= set.rate / 2.0) throw Failure{"--cfo must stay below half the sample rate"};
	if (set.ssb_high >= set.rate / 2.0) throw Failure{"--ssb must stay below half the sample rate"};
	return set;
}

std::vector<double> read_input()
{
	std::cin >> std::noskipws;
	std::string bytes(std::istreambuf_iterator<char>(std::cin), {});
	if (bytes.size() % 2) throw Failure{"input ends in the middle of a sample"};
	std::vector<double> x(bytes.size() / 2);
	for (size_t i = 0; i < x.size(); ++i)
		x[i] = int16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
	return x;
}

std::vector<double> simulate(const Settings &set, const std::vector<double> &input)
{
	int rate = set.rate;
	Random rng(set.seed);
	std::vector<double> x = set.ppm != 0 ? resample(input, set.ppm) : input;
	long n = x.size();
	if (set.echo_ms > 0) {
		long delay = std::lround(set.echo_ms * rate / 1000);
		for (long i = n - 1; i >= delay; --i) x[i] += set.echo_gain * x[i - delay];
	}
	if (set.fading || set.cfo != 0) {
		auto y = analytic(x, rate / 100);
		if (set.fading) {
			auto g1 = rayleigh_gains(n, rate, set.fading->spread_hz / 2, 0.5, rng);
			auto g2 = rayleigh_gains(n, rate, set.fading->spread_hz / 2, 0.5, rng);
			long delay = std::lround(set.fading->delay_ms * rate / 1000);
			for (long i = n - 1; i >= 0; --i)
				y[i] = g1[i] * y[i] + (i >= delay ? g2[i] * y[i - delay] : DSP::Complex<double>());
		}
		for (long i = 0; i < n; ++i) {
			double turns = std::fmod(set.cfo * i, double(rate)) / rate;
			double phase = 2 * M_PI * turns;
			x[i] = y[i].re * std::cos(phase) - y[i].im * std::sin(phase);
		}
	}
	if (!std::isnan(set.snr)) {
		// White noise of variance s2 has the one-sided density s2/(rate/2).
		double noise = signal_power(input, rate) / std::pow(10, set.snr / 10) * (rate / 2.0) / 3000;
		double sigma = std::sqrt(noise);
		for (auto &v : x) v += sigma * rng.gaussian();
	}
	if (set.ssb_high > 0) {
		BandPass<> filter(set.ssb_low, set.ssb_high, rate);
		for (auto &v : x) v = filter(v);
	}
	return x;
}

}

int main(int argc, char **argv)
{
	try {
		Settings set = parse(argc, argv);
		std::vector<double> y = simulate(set, read_input());
		std::vector<int16_t> out(y.size());
		long clipped = 0;
		for (size_t i = 0; i < y.size(); ++i) {
			double v = std::nearbyint(y[i]);
			if (v > 32767 || v < -32768) ++clipped, v = v > 0 ? 32767 : -32768;
			out[i] = int16_t(v);
		}
		if (!out.empty()) std::fwrite(out.data(), 2, out.size(), stdout);
		std::fflush(stdout);
		if (clipped)
			std::fprintf(stderr, "channel: %ld of %zu samples clipped at full scale\n", clipped, out.size());
	} catch (const Failure &failure) {
		std::fprintf(stderr, "channel: %s\n", failure.message.c_str());
		return 1;
	}
	return 0;
}
