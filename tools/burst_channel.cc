// Channel simulator: reads signed 16-bit little-endian mono PCM on standard
// input, degrades it like an audio path or an HF radio link, and writes the
// result in the same format on standard output as the input comes in. The
// output is aligned with the input sample for sample (apart from --ppm,
// which stretches it) and the same seed always gives the same output.

#include <numbers>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "dsp/complex.hh"
#include "tools/cli/command_line.hh"
#include "tools/sim/analytic.hh"
#include "tools/sim/band_pass.hh"
#include "tools/sim/fading.hh"
#include "tools/sim/random.hh"
#include "tools/sim/resampler.hh"
#include "tools/io/standard_output.hh"

namespace {

const char usage[] = R"(Usage: burst_channel [OPTION]... < in.raw > out.raw
Degrades signed 16-bit little-endian mono PCM, in this order: sample clock
offset, echo, fading, frequency offset, noise, band-pass, rounding. The input
is processed as it comes, in blocks, and the output follows it at once, so
burst_channel works live between a sound card and decode_stream.

  -r, --rate HZ          sample rate of the input (default 48000)
  -n, --snr DB           add white Gaussian noise: DB is the power of a signal
                         at the reference level (--level) against the noise
                         power in a 3 kHz bandwidth; the input is not
                         measured, so the noise is there from the first
                         sample (default: no noise)
  -l, --level DBFS       reference level for --snr: the RMS level of the
                         signal when it is there, 0 dBFS being full scale
                         (default -18, encode_stream's default level)
  -f, --cfo HZ           shift every frequency by HZ (default 0)
  -p, --ppm PPM          sample clock offset: the input resampled so that every
                         frequency rises by PPM parts per million (default 0)
  -e, --echo MS:GAIN     add a copy delayed by MS milliseconds (rounded to
                         whole samples) and scaled by GAIN
  -F, --fading PROFILE   Watterson two-path Rayleigh fading of equal mean power
                         paths: good (0.5 ms delay, 0.1 Hz Doppler spread),
                         moderate (1 ms, 0.5 Hz) or poor (2 ms, 1 Hz);
                         mean power gain 1
  -b, --ssb LOW:HIGH     a radio's band-pass from LOW to HIGH Hz after the
                         noise, for example 300:3000 (6th-order Butterworth
                         edges)
  -H, --hum HZ:DB        add a sine of HZ at DB above the reference level
                         (--level), with the noise; give it again for each
                         harmonic of mains hum, for example -H 50:10 -H 150:0
  -s, --seed N           seed of the noise and the fading (default 1)
  -h, --help             show this text
  -V, --version          show the version

Samples beyond full scale are clipped; their number is reported on standard
error. Exit status: 0 at the end of the input; 1 for a value that does not
fit, an input that ends inside a sample, a read or write error or no memory;
2 for an unknown option or a missing value.
)";

struct Settings
{
	long rate = 48000, seed = 1;
	double snr = NAN, level = -18, cfo = 0, ppm = 0, echo_ms = 0, echo_gain = 0, ssb_low = 0, ssb_high = 0;
	const FadingProfile *fading = nullptr;
	std::vector<std::pair<double, double>> hums; // Hz, dB over the level
};

// Two numbers "A:B".
bool parse_pair(const char *text, double *a, double *b)
{
	const char *colon = std::strchr(text, ':');
	return colon && parse_number(std::string(text, colon).c_str(), a) && parse_number(colon + 1, b);
}

Settings parse(int argc, char **argv)
{
	static const option options[] = {
		{"rate", required_argument, nullptr, 'r'},   {"snr", required_argument, nullptr, 'n'},
		{"level", required_argument, nullptr, 'l'},  {"cfo", required_argument, nullptr, 'f'},
		{"ppm", required_argument, nullptr, 'p'},    {"echo", required_argument, nullptr, 'e'},
		{"fading", required_argument, nullptr, 'F'}, {"ssb", required_argument, nullptr, 'b'},
		{"seed", required_argument, nullptr, 's'},   {"hum", required_argument, nullptr, 'H'},
		{"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'V'},
		{nullptr, 0, nullptr, 0}};
	Settings set;
	auto bad = [](int letter, const char *range) { bad_value(options, letter, range); };
	opterr = 0;
	for (int c; (c = getopt_long(argc, argv, ":r:n:l:f:p:e:F:b:s:H:hV", options, nullptr)) != -1;) {
		switch (c) {
		case 'h': print_and_exit(usage);
		case 'V': print_and_exit(version_text());
		case 'r':
			if (!parse_number(optarg, &set.rate) || set.rate < 1000 || set.rate > 384000)
				bad(c, "1000 to 384000 Hz");
			break;
		case 'n':
			if (!parse_number(optarg, &set.snr) || std::abs(set.snr) > 200) bad(c, "-200 to 200 dB");
			break;
		case 'l':
			if (!parse_number(optarg, &set.level) || set.level > 0 || set.level < -100) bad(c, "-100 to 0 dBFS");
			break;
		case 'f':
			if (!parse_number(optarg, &set.cfo)) bad(c, "a frequency in Hz");
			break;
		case 'p':
			if (!parse_number(optarg, &set.ppm) || std::abs(set.ppm) > 10000) bad(c, "-10000 to 10000");
			break;
		case 'e':
			if (!parse_pair(optarg, &set.echo_ms, &set.echo_gain) || set.echo_ms <= 0 || set.echo_ms > 10000 ||
			    std::abs(set.echo_gain) > 10)
				bad(c, "MS:GAIN with 0 < MS <= 10000 and |GAIN| <= 10");
			break;
		case 'F':
			set.fading = nullptr;
			for (auto &p : fading_profiles)
				if (std::strcmp(optarg, p.name) == 0) set.fading = &p;
			if (!set.fading) bad(c, "good, moderate or poor");
			break;
		case 'b':
			if (!parse_pair(optarg, &set.ssb_low, &set.ssb_high) || set.ssb_low <= 0 || set.ssb_high <= set.ssb_low)
				bad(c, "LOW:HIGH with 0 < LOW < HIGH");
			break;
		case 'H': {
			double hz, db;
			if (!parse_pair(optarg, &hz, &db) || hz <= 0 || std::abs(db) > 100) bad(c, "HZ:DB with 0 < HZ and |DB| <= 100");
			set.hums.emplace_back(hz, db);
			break;
		}
		case 's':
			if (!parse_number(optarg, &set.seed) || set.seed < 0) bad(c, "a number from 0 up");
			break;
		default: fail(option_error(c, argv, options), EXIT_USAGE);
		}
	}
	if (optind < argc) fail(std::string("unexpected argument ") + argv[optind] + " (see --help)", EXIT_USAGE);
	if (std::abs(set.cfo) >= set.rate / 2.0) fail("--cfo must stay below half the sample rate");
	if (set.ssb_high >= set.rate / 2.0) fail("--ssb must stay below half the sample rate");
	for (auto &hum : set.hums)
		if (hum.first >= set.rate / 2.0) fail("--hum must stay below half the sample rate");
	return set;
}

// The stages, sample by sample; the clock offset and the analytic signal
// hold back the few samples they need from ahead.
class Channel
{
	const Settings &set;
	ClockOffset clock;
	std::vector<double> echo_line; // the last echo delay's input
	size_t echo_at = 0;
	Analytic analytic;
	RayleighPath direct, delayed;
	std::vector<DSP::Complex<double>> fading_line; // the last fading delay's analytic signal
	size_t fading_at = 0;
	long shifted = 0; // samples through the frequency shift
	Random noise;
	double sigma;
	long hummed = 0; // samples with hum added
	BandPass<> band;

public:
	std::vector<int16_t> out;
	long clipped = 0, written = 0;

	explicit Channel(const Settings &set)
	    : set(set), clock(set.ppm), echo_line(std::lround(set.echo_ms * set.rate / 1000)), analytic(set.rate / 100),
	      direct(set.rate, set.fading ? set.fading->spread_hz / 2 : 1, 0.5, 3 * set.seed + 1),
	      delayed(set.rate, set.fading ? set.fading->spread_hz / 2 : 1, 0.5, 3 * set.seed + 2),
	      fading_line(set.fading ? std::lround(set.fading->delay_ms * set.rate / 1000) : 0), noise(3 * set.seed),
	      band(set.ssb_low, set.ssb_high, set.rate)
	{
		// White noise of variance s² has the one-sided density s²/(rate/2).
		double signal = std::pow(32768 * std::pow(10, set.level / 20), 2);
		sigma = std::sqrt(signal / std::pow(10, set.snr / 10) * (set.rate / 2.0) / 3000);
	}

	void take(double x)
	{
		if (set.ppm != 0) clock.push(x, [this](double v) { echo(v); });
		else echo(x);
	}

	void finish()
	{
		if (set.ppm != 0) clock.finish([this](double v) { echo(v); });
		if (set.fading || set.cfo != 0) analytic.finish([this](DSP::Complex<double> y) { shift(y); });
	}

private:
	void echo(double x)
	{
		if (set.echo_ms > 0) {
			if (echo_line.empty()) {
				x += set.echo_gain * x;
			} else {
				double older = echo_line[echo_at];
				echo_line[echo_at] = x;
				echo_at = (echo_at + 1) % echo_line.size();
				x += set.echo_gain * older;
			}
		}
		if (set.fading || set.cfo != 0) analytic.push(x, [this](DSP::Complex<double> y) { shift(y); });
		else add_noise(x);
	}

	void shift(DSP::Complex<double> y)
	{
		if (set.fading) {
			DSP::Complex<double> older = y;
			if (!fading_line.empty()) {
				older = fading_line[fading_at];
				fading_line[fading_at] = y;
				fading_at = (fading_at + 1) % fading_line.size();
			}
			y = direct.next() * y + delayed.next() * older;
		}
		double phase = 2 * std::numbers::pi * (std::fmod(set.cfo * shifted++, double(set.rate)) / set.rate);
		add_noise(y.re * std::cos(phase) - y.im * std::sin(phase));
	}

	void add_noise(double x)
	{
		if (!std::isnan(set.snr)) x += sigma * noise.gaussian();
		for (auto &[hz, db] : set.hums) {
			double amplitude = 32768 * std::sqrt(2.0) * std::pow(10, (set.level + db) / 20);
			x += amplitude * std::sin(2 * std::numbers::pi * (std::fmod(hz * hummed, double(set.rate)) / set.rate));
		}
		++hummed;
		if (set.ssb_high > 0) x = band(x);
		double v = std::nearbyint(x);
		if (v > 32767 || v < -32768) ++clipped, v = v > 0 ? 32767 : -32768;
		out.push_back(int16_t(v));
		++written;
	}
};

// Sends what the channel has made so far.
void send(Channel &channel)
{
	write_output(channel.out.data(), 2 * channel.out.size());
	flush_output();
	channel.out.clear();
}

}

int main(int argc, char **argv)
{
	start_program("burst_channel");
	try {
		Settings set = parse(argc, argv);
		Channel channel(set);
		unsigned char bytes[65536];
		size_t kept = 0; // the first byte of a sample whose second is still to come
		for (;;) {
			ssize_t got = read(0, bytes + kept, sizeof bytes - kept);
			if (got < 0 && errno == EINTR) continue;
			if (got < 0) fail(system_error("standard input"));
			if (got == 0) break;
			size_t end = kept + got;
			for (size_t i = 0; i + 1 < end; i += 2) channel.take(int16_t(bytes[i] | bytes[i + 1] << 8));
			kept = end % 2;
			if (kept) bytes[0] = bytes[end - 1];
			send(channel);
		}
		channel.finish();
		send(channel);
		if (kept) fail("standard input ends in the middle of a sample");
		if (channel.clipped)
			std::fprintf(stderr, "burst_channel: %ld of %ld samples clipped at full scale\n", channel.clipped,
				     channel.written);
	} catch (const std::bad_alloc &) {
		fail("out of memory");
	}
	return EXIT_DONE;
}
