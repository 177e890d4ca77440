// Transmitter: writes bursts for the receiver as signed 16-bit little-endian
// PCM (or a WAV stream) on standard output. Every check of the command line
// and the payload happens before the first byte is written.

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <getopt.h>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "modem/call_sign.hh"
#include "modem/encoder.hh"
#include "tools/cli/command_line.hh"
#include "tools/sim/random.hh"
#include "tools/io/standard_output.hh"
#include "tools/io/wav_writer.hh"

namespace {

const char usage[] = R"(Usage: encode_stream [OPTION]... > samples.raw
Sends the payload from standard input (or --text) as OFDM bursts: signed
16-bit little-endian PCM on standard output.

  -r, --rate HZ        sample rate, 8000 or 48000 (default 48000)
  -m, --mapping M      constellation of the data symbols, 2, 4 or 8 (default 4)
  -c, --channel C      0 mono; 1 left, 2 right, 3 both (the other channel
                       silent for 1 and 2); 4 in-phase/quadrature pair
                       (default 0)
  -C, --call CALL      call sign, 1 to 9 of A-Z, 0-9 and space (default N0CALL)
  -M, --mode MODE      14, 15 or 16 (170, 128 or 85 payload bytes), ping (mode
                       0) or any number 0 to 255 for testing; modes other than
                       14, 15 and 16 carry no payload and read no input
                       (default: the smallest of 16, 15, 14 that holds the
                       payload)
  -f, --freq HZ        centre frequency; the carriers span HZ-800 to
                       HZ+793.75 and must lie inside 0 to rate/2 (default 1500)
  -l, --level DBFS     RMS level of the burst, 0 dBFS being full scale
                       (default -18: bursts peak about 14 dB above their RMS
                       level, so the default does not clip)
  -s, --silence SEC    silence before and after every burst (default 1)
  -w, --wav            write a WAV stream (through libsndfile) instead of raw
                       samples
  -t, --text TEXT      send TEXT instead of reading standard input
  -L, --lines          one burst per line of the input instead of one in all;
                       blank lines (nothing but spaces and tabs) are skipped
  -n, --repeat N       send every burst N times (default 1)
      --list-modes     print the table of payload modes and exit: a header
                       line, then one line per mode of space-separated
                       numbers (mode, payload bytes, information bits with
                       the CRC, code bits, burst seconds for mappings 2, 4
                       and 8)
  -h, --help           show this text
  -V, --version        show the version

Without --lines a single newline at the end of the input is not sent.
Exit status: 0 when every burst was written; 1 for a value or payload that
does not fit, a write error or no memory (nothing is written when the command
line or the payload is refused); 2 for an unknown option or a missing value.
)";

struct Settings
{
	long rate = 48000, mapping = 4, channel = 0, mode = -1, repeat = 1;
	double freq = 1500, level = -18, silence = 1;
	uint64_t call_sign = encode_call_sign("N0CALL");
	bool wav = false, lines = false, has_text = false;
	std::string text;
};

// The mode of one payload: the one asked for, or the smallest that holds it.
int burst_mode(const Settings &set, const std::string &payload)
{
	if (set.mode >= 0) return set.mode;
	return payload.size() <= 85 ? 16 : payload.size() <= 128 ? 15 : 14;
}

template <int RATE, int M>
void send(const Settings &set, const std::vector<std::string> &payloads)
{
	auto encoder = std::make_unique<Encoder<RATE, M>>();
	std::vector<DSP::Complex<float>> burst(Encoder<RATE, M>::max_burst_length);
	int channels = set.channel == 0 ? 1 : 2;
	long gap = std::lround(set.silence * RATE);
	std::unique_ptr<WavWriter> wav;
	if (set.wav) {
		uint64_t frames = 0;
		for (auto &payload : payloads)
			frames += set.repeat * (2 * gap + Encoder<RATE, M>::burst_length(burst_mode(set, payload)));
		if (frames * channels * 2 > 0xFFFFFFFF - 36) fail("output too long for a WAV file");
		wav = std::make_unique<WavWriter>(RATE, channels, frames);
	}
	auto write = [&wav, channels](const std::vector<int16_t> &v) {
		if (wav) wav->put(v.data(), v.size() / channels);
		else write_output(v.data(), 2 * v.size());
	};
	// A complex signal of unit power has a real part of half that power.
	float scale = 32768 * std::sqrt(2.f) * std::pow(10.f, float(set.level) / 20);
	long clipped = 0;
	// Triangular dither of one step: without it the rounding error of a
	// noiseless burst repeats with the burst's own periods and stands out in
	// the spectrum as lines that no real recording has. The in-phase and
	// quadrature parts draw from streams of their own, so that the in-phase
	// samples are the same in every channel layout.
	Random dither_i(1), dither_q(2);
	auto quantize = [&clipped, scale](float x, Random &dither) {
		float v = std::nearbyint(x * scale + float(dither.uniform() - dither.uniform()));
		if (v > 32767 || v < -32768) ++clipped, v = v > 0 ? 32767 : -32768;
		return int16_t(v);
	};
	std::vector<int16_t> silence(gap * channels), samples;
	for (auto &payload : payloads) {
		int mode = burst_mode(set, payload);
		uint8_t bytes[170] = {};
		std::copy(payload.begin(), payload.end(), bytes);
		int length = (*encoder)(burst.data(), bytes, mode, set.call_sign, set.freq);
		samples.assign(length * channels, 0);
		for (int n = 0; n < length; ++n) {
			int16_t re = quantize(burst[n].re, dither_i);
			switch (set.channel) {
			case 0: samples[n] = re; break;
			case 1: samples[2 * n] = re; break;
			case 2: samples[2 * n + 1] = re; break;
			case 3: samples[2 * n] = samples[2 * n + 1] = re; break;
			case 4: samples[2 * n] = re, samples[2 * n + 1] = quantize(burst[n].im, dither_q); break;
			}
		}
		for (long r = 0; r < set.repeat; ++r) {
			write(silence);
			write(samples);
			write(silence);
		}
	}
	if (wav) wav->close();
	flush_output();
	if (clipped) std::fprintf(stderr, "encode_stream: %ld samples clipped; lower --level\n", clipped * set.repeat);
}

template <int RATE>
void send(const Settings &set, const std::vector<std::string> &payloads)
{
	switch (set.mapping) {
	case 2: return send<RATE, 2>(set, payloads);
	case 4: return send<RATE, 4>(set, payloads);
	case 8: return send<RATE, 8>(set, payloads);
	}
}

// The air interface's payload modes as the programs and scripts that measure
// them need it; information bits count the frozen table's open positions.
std::string mode_table()
{
	std::string table = "mode payload_bytes information_bits code_bits burst_s_2 burst_s_4 burst_s_8\n";
	for (const Air::PayloadMode &m : Air::payload_modes) {
		const int mode = m.mode, code_bits = Air::code_length;
		int information = 0;
		for (int w = 0; w < code_bits / 32; ++w) information += std::popcount(~m.frozen[w]);
		char line[120];
		std::snprintf(line, sizeof(line), "%d %d %d %d %.3f %.3f %.3f\n", mode, m.bytes, information,
			      code_bits, Encoder<8000, 2>::burst_length(mode) / 8000.0,
			      Encoder<8000, 4>::burst_length(mode) / 8000.0, Encoder<8000, 8>::burst_length(mode) / 8000.0);
		table += line;
	}
	return table;
}

Settings parse(int argc, char **argv)
{
	static const option options[] = {
		{"rate", required_argument, nullptr, 'r'},    {"mapping", required_argument, nullptr, 'm'},
		{"channel", required_argument, nullptr, 'c'}, {"call", required_argument, nullptr, 'C'},
		{"mode", required_argument, nullptr, 'M'},    {"freq", required_argument, nullptr, 'f'},
		{"level", required_argument, nullptr, 'l'},   {"silence", required_argument, nullptr, 's'},
		{"wav", no_argument, nullptr, 'w'},           {"text", required_argument, nullptr, 't'},
		{"lines", no_argument, nullptr, 'L'},         {"repeat", required_argument, nullptr, 'n'},
		{"help", no_argument, nullptr, 'h'},          {"version", no_argument, nullptr, 'V'},
		{"list-modes", no_argument, nullptr, 'T'},    {nullptr, 0, nullptr, 0}};
	Settings set;
	auto bad = [](int letter, const char *range) { bad_value(options, letter, range); };
	opterr = 0;
	for (int c; (c = getopt_long(argc, argv, ":r:m:c:C:M:f:l:s:wt:Ln:hV", options, nullptr)) != -1;) {
		switch (c) {
		case 'h': print_and_exit(usage);
		case 'V': print_and_exit(version_text());
		case 'T': print_and_exit(mode_table());
		case 'r':
			if (!parse_number(optarg, &set.rate) || (set.rate != 8000 && set.rate != 48000))
				bad(c, "8000 or 48000");
			break;
		case 'm':
			if (!parse_number(optarg, &set.mapping) || (set.mapping != 2 && set.mapping != 4 && set.mapping != 8))
				bad(c, "2, 4 or 8");
			break;
		case 'c':
			if (!parse_number(optarg, &set.channel) || set.channel < 0 || set.channel > 4) bad(c, "0 to 4");
			break;
		case 'C':
			set.call_sign = encode_call_sign(optarg);
			if (!set.call_sign) bad(c, "1 to 9 characters of A-Z, 0-9 and space, not all spaces");
			break;
		case 'M':
			if (std::string(optarg) == "ping") set.mode = 0;
			else if (!parse_number(optarg, &set.mode) || set.mode < 0 || set.mode > 255)
				bad(c, "14, 15, 16, ping or 0 to 255");
			break;
		case 'f':
			if (!parse_number(optarg, &set.freq)) bad(c, "a frequency in Hz");
			break;
		case 'l':
			if (!parse_number(optarg, &set.level) || set.level > 0 || set.level < -100) bad(c, "-100 to 0 dBFS");
			break;
		case 's':
			if (!parse_number(optarg, &set.silence) || set.silence < 0 || set.silence > 3600)
				bad(c, "0 to 3600 seconds");
			break;
		case 'n':
			if (!parse_number(optarg, &set.repeat) || set.repeat < 1 || set.repeat > 100000) bad(c, "1 to 100000");
			break;
		case 't':
			set.text = optarg;
			set.has_text = true;
			break;
		case 'w': set.wav = true; break;
		case 'L': set.lines = true; break;
		default: fail(option_error(c, argv, options), EXIT_USAGE);
		}
	}
	if (optind < argc) fail(std::string("unexpected argument ") + argv[optind] + " (see --help)", EXIT_USAGE);
	double low = set.freq + Encoder<8000, 4>::lowest_offset, high = set.freq + Encoder<8000, 4>::highest_offset;
	if (low <= 0 || high >= set.rate / 2.0) {
		char message[200];
		std::snprintf(message, sizeof(message),
			      "centre frequency %g Hz puts carriers at %g to %g Hz, outside 0 to %ld Hz", set.freq,
			      low, high, set.rate / 2);
		fail(message);
	}
	return set;
}

bool blank(const std::string &line) { return line.find_first_not_of(" \t") == std::string::npos; }

std::vector<std::string> payloads(const Settings &set)
{
	if (set.mode >= 0 && !Air::payload_bytes(set.mode)) {
		if (set.has_text || set.lines)
			fail("mode " + std::to_string(set.mode) + " carries no payload: drop --text and --lines");
		return {""};
	}
	std::string input = set.text;
	if (!set.has_text) {
		std::cin >> std::noskipws;
		input.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
		if (std::cin.bad()) fail(system_error("standard input"));
	}
	std::vector<std::string> list;
	std::vector<size_t> line_numbers;
	if (set.lines) {
		size_t start = 0;
		for (size_t number = 1; start < input.size(); ++number) {
			size_t end = input.find('\n', start);
			if (end == std::string::npos) end = input.size();
			std::string line = input.substr(start, end - start);
			if (!line.empty() && line.back() == '\r') line.pop_back();
			if (!blank(line)) list.push_back(line), line_numbers.push_back(number);
			start = end + 1;
		}
	} else {
		if (!set.has_text && !input.empty() && input.back() == '\n') input.pop_back();
		list.push_back(input);
	}
	for (size_t i = 0; i < list.size(); ++i) {
		size_t limit = set.mode >= 0 ? Air::payload_bytes(set.mode) : Air::max_payload_bytes;
		if (list[i].size() > limit) {
			std::string where = set.lines ? "line " + std::to_string(line_numbers[i]) + ": " : "";
			std::string mode = set.mode >= 0 ? "mode " + std::to_string(set.mode) : "any mode";
			fail(where + "payload of " + std::to_string(list[i].size()) + " bytes is too long for " + mode +
			     " (at most " + std::to_string(limit) + ")");
		}
	}
	return list;
}

}

int main(int argc, char **argv)
{
	start_program("encode_stream");
	try {
		Settings set = parse(argc, argv);
		std::vector<std::string> list = payloads(set);
		if (set.rate == 8000) send<8000>(set, list);
		else send<48000>(set, list);
	} catch (const std::bad_alloc &) {
		fail("out of memory");
	}
	return EXIT_DONE;
}
