// Transmitter: writes bursts for the receiver as signed 16-bit little-endian
// PCM on standard output. Every check happens before the first byte is
// written, so a failed run leaves no output behind.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "modem/call_sign.hh"
#include "modem/encoder.hh"
#include "tools/options.hh"
#include "tools/sim/random.hh"
#include "tools/wav.hh"

namespace {

const char usage[] = R"(Usage: encode_stream [OPTION]... > samples.raw
Sends the payload from standard input (or --text) as OFDM bursts: signed
16-bit little-endian PCM on standard output.

  --rate HZ        sample rate, 8000 or 48000 (default 48000)
  --mapping M      constellation of the data symbols, 2, 4 or 8 (default 4)
  --channel C      0 mono; 1 left, 2 right, 3 both (the other channel silent
                   for 1 and 2); 4 in-phase/quadrature pair (default 0)
  --call CALL      call sign, 1 to 9 of A-Z, 0-9 and space (default N0CALL)
  --mode MODE      14, 15 or 16 (170, 128 or 85 payload bytes), ping (mode 0)
                   or any number 0 to 255 for testing; modes other than 14, 15
                   and 16 carry no payload and read no input (default: the
                   smallest of 16, 15, 14 that holds the payload)
  --freq HZ        centre frequency; the carriers span HZ-800 to HZ+793.75
                   and must lie inside 0 to rate/2 (default 1500)
  --level DBFS     RMS level of the burst, 0 dBFS being full scale
                   (default -18: bursts peak about 14 dB above
                   their RMS level, so the default does not clip)
  --silence SEC    silence before and after every burst (default 1)
  --wav            write a WAV header in front of the samples
  --text TEXT      send TEXT instead of reading standard input
  --lines          one burst per line of the input instead of one in all
  --repeat N       send every burst N times (default 1)
  --help           show this text

Without --lines a single newline at the end of the input is not sent.
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
	if (set.wav) {
		uint64_t frames = 0;
		for (auto &payload : payloads)
			frames += set.repeat * (2 * gap + Encoder<RATE, M>::burst_length(burst_mode(set, payload)));
		uint64_t bytes = frames * channels * 2;
		if (bytes > 0xFFFFFFFF - 36) throw Failure{"output too long for a WAV file"};
		std::string header = wav_header(RATE, channels, bytes);
		std::fwrite(header.data(), 1, header.size(), stdout);
	}
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
		// An empty vector may hand out a null pointer, which fwrite must not see.
		auto write = [](const std::vector<int16_t> &v) {
			if (!v.empty()) std::fwrite(v.data(), 2, v.size(), stdout);
		};
		for (long r = 0; r < set.repeat; ++r) {
			write(silence);
			write(samples);
			write(silence);
		}
	}
	std::fflush(stdout);
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

Settings parse(int argc, char **argv)
{
	Settings set;
	Options opt(argc, argv);
	auto bad = [&opt](const char *v) { return Failure{"invalid value for " + opt.name + ": " + v}; };
	while (opt.next()) {
		const std::string &name = opt.name;
		if (name == "--help") {
			std::fputs(usage, stdout);
			std::exit(0);
		} else if (name == "--rate") {
			const char *v = opt.required();
			if (!parse_number(v, &set.rate) || (set.rate != 8000 && set.rate != 48000))
				throw Failure{std::string("unsupported sample rate: ") + v + " (8000 or 48000)"};
		} else if (name == "--mapping") {
			const char *v = opt.required();
			if (!parse_number(v, &set.mapping) || (set.mapping != 2 && set.mapping != 4 && set.mapping != 8))
				throw Failure{std::string("unsupported mapping: ") + v + " (2, 4 or 8)"};
		} else if (name == "--channel") {
			const char *v = opt.required();
			if (!parse_number(v, &set.channel) || set.channel < 0 || set.channel > 4) throw bad(v);
		} else if (name == "--call") {
			const char *v = opt.required();
			set.call_sign = encode_call_sign(v);
			if (!set.call_sign)
				throw Failure{std::string("invalid call sign: \"") + v +
					      "\" (1 to 9 characters of A-Z, 0-9 and space, not all spaces)"};
		} else if (name == "--mode") {
			const char *v = opt.required();
			if (std::string(v) == "ping") set.mode = 0;
			else if (!parse_number(v, &set.mode) || set.mode < 0 || set.mode > 255) throw bad(v);
		} else if (name == "--freq") {
			const char *v = opt.required();
			if (!parse_number(v, &set.freq)) throw bad(v);
		} else if (name == "--level") {
			const char *v = opt.required();
			if (!parse_number(v, &set.level) || set.level > 0 || set.level < -100)
				throw Failure{std::string("invalid level: ") + v + " (-100 to 0 dBFS)"};
		} else if (name == "--silence") {
			const char *v = opt.required();
			if (!parse_number(v, &set.silence) || set.silence < 0 || set.silence > 3600)
				throw Failure{std::string("invalid silence: ") + v + " (0 to 3600 seconds)"};
		} else if (name == "--repeat") {
			const char *v = opt.required();
			if (!parse_number(v, &set.repeat) || set.repeat < 1 || set.repeat > 100000)
				throw Failure{std::string("invalid repeat count: ") + v + " (1 to 100000)"};
		} else if (name == "--text") {
			set.text = opt.required();
			set.has_text = true;
		} else if (name == "--wav" || name == "--lines") {
			if (opt.has_attached_value()) throw Failure{name + " takes no value"};
			(name == "--wav" ? set.wav : set.lines) = true;
		} else {
			throw Failure{"unknown option: " + name + " (see --help)"};
		}
	}
	double low = set.freq + Encoder<8000, 4>::lowest_offset, high = set.freq + Encoder<8000, 4>::highest_offset;
	if (low <= 0 || high >= set.rate / 2.0) {
		char message[200];
		std::snprintf(message, sizeof(message),
			      "centre frequency %g Hz puts carriers at %g to %g Hz, outside 0 to %ld Hz", set.freq,
			      low, high, set.rate / 2);
		throw Failure{message};
	}
	return set;
}

std::vector<std::string> payloads(const Settings &set)
{
	if (set.mode >= 0 && !payload_bytes(set.mode)) {
		if (set.has_text || set.lines)
			throw Failure{"mode " + std::to_string(set.mode) + " carries no payload: drop --text and --lines"};
		return {""};
	}
	std::string input = set.text;
	if (!set.has_text) {
		std::cin >> std::noskipws;
		input.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
	}
	std::vector<std::string> list;
	if (set.lines) {
		size_t start = 0;
		while (start < input.size()) {
			size_t end = input.find('\n', start);
			if (end == std::string::npos) end = input.size();
			std::string line = input.substr(start, end - start);
			if (!line.empty() && line.back() == '\r') line.pop_back();
			list.push_back(line);
			start = end + 1;
		}
	} else {
		if (!set.has_text && !input.empty() && input.back() == '\n') input.pop_back();
		list.push_back(input);
	}
	for (size_t i = 0; i < list.size(); ++i) {
		size_t limit = set.mode >= 0 ? payload_bytes(set.mode) : 170;
		if (list[i].size() > limit) {
			std::string where = set.lines ? "line " + std::to_string(i + 1) + ": " : "";
			std::string mode = set.mode >= 0 ? "mode " + std::to_string(set.mode) : "any mode";
			throw Failure{where + "payload of " + std::to_string(list[i].size()) + " bytes is too long for " +
				      mode + " (at most " + std::to_string(limit) + ")"};
		}
	}
	return list;
}

}

int main(int argc, char **argv)
{
	try {
		Settings set = parse(argc, argv);
		std::vector<std::string> list = payloads(set);
		if (set.rate == 8000) send<8000>(set, list);
		else send<48000>(set, list);
	} catch (const Failure &failure) {
		std::fprintf(stderr, "encode_stream: %s\n", failure.message.c_str());
		return 1;
	}
	return 0;
}
