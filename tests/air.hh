#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "modem/call_sign.hh"
#include "modem/decoder.hh"
#include "modem/encoder.hh"
#include "stream/event_line.hh"
#include "stream/stream_receiver.hh"

// Bursts as sound and the event lines decode_stream prints for it, in
// process: the same block length, calling order and receiver replacement as
// the program, over one receiver variant.

template <int R, int MAPPING> struct Variant
{
	static constexpr int rate = R, mapping = MAPPING;
	static constexpr int block = R / 50;
	static constexpr int extended = Encoder<R, MAPPING>::extended_length;
	typedef Encoder<R, MAPPING> Tx;
	typedef Decoder<R, MAPPING> Rx;
};

typedef testing::Types<Variant<8000, 2>, Variant<8000, 4>, Variant<8000, 8>, Variant<48000, 2>,
                       Variant<48000, 4>, Variant<48000, 8>>
    AllVariants;

struct VariantName
{
	template <typename V> static std::string GetName(int)
	{
		return std::to_string(V::rate) + "_" + std::to_string(V::mapping);
	}
};

// Sound in units of full scale: 1 is the largest sample value.
typedef std::vector<double> Sound;

// One burst's real samples at an RMS level of dbfs (a complex signal of unit
// power has a real part of half that power). payload is zero-padded.
template <typename V>
Sound burst(const std::string &payload, int mode = 16, double freq = 1500, double dbfs = -18,
            const char *call = "N0CALL")
{
	static auto tx = std::make_unique<typename V::Tx>();
	std::vector<DSP::Complex<float>> out(V::Tx::max_burst_length);
	uint8_t bytes[170] = {};
	std::copy(payload.begin(), payload.end(), bytes);
	int length = (*tx)(out.data(), bytes, mode, encode_call_sign(call), freq);
	double scale = std::sqrt(2.0) * std::pow(10.0, dbfs / 20);
	Sound sound(length);
	for (int n = 0; n < length; ++n) sound[n] = out[n].re * scale;
	return sound;
}

inline Sound silence(double seconds, int rate)
{
	return Sound(std::lround(seconds * rate), 0.0);
}

// Joins sounds, or lists of event lines.
template <typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b)
{
	a.insert(a.end(), b.begin(), b.end());
	return a;
}

// Adds b into a from sample offset on, lengthening a where needed.
inline Sound mix(Sound a, const Sound &b, long offset)
{
	if (long(a.size()) < offset + long(b.size())) a.resize(offset + b.size(), 0.0);
	for (size_t n = 0; n < b.size(); ++n) a[offset + n] += b[n];
	return a;
}

// 16-bit samples with triangular dither of one step, cut at full scale.
inline std::vector<short> pcm(const Sound &sound, uint32_t seed = 1)
{
	std::vector<short> out(sound.size());
	auto uniform = [&seed]() {
		seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
		return seed * 0x1p-32;
	};
	for (size_t n = 0; n < sound.size(); ++n) {
		double v = std::nearbyint(sound[n] * 32768 + uniform() - uniform());
		out[n] = short(std::clamp(v, -32768.0, 32767.0));
	}
	return out;
}

// Event lines of the stream layer, as decode_stream prints them, and the
// events themselves, for mono samples that may come in pieces of any
// length. The receiver's mapping is the variant's unless given (any_mapping).
template <typename V> class Listener final : StreamListener
{
public:
	explicit Listener(Demodulator demodulator = Demodulator::reference, int mapping = V::mapping)
	    : stream{V::rate, mapping, 0, demodulator}
	{
	}

	void operator()(const short *samples, size_t count) { stream.feed(samples, count, *this); }
	void finish() { stream.finish(*this); }

	std::vector<std::string> lines() const { return list; }
	const std::vector<Event> &events() const { return heard; }

private:
	StreamReceiver stream;
	std::vector<std::string> list;
	std::vector<Event> heard;

	void event(const Event &e) override
	{
		char line[event_line_capacity];
		event_line(e, line, sizeof line);
		list.push_back(line);
		heard.push_back(e);
	}
};

// Event lines for the samples, the end of the input included.
template <typename V>
std::vector<std::string> receive(const std::vector<short> &samples, Demodulator demodulator = Demodulator::reference)
{
	Listener<V> listen(demodulator);
	listen(samples.data(), samples.size());
	listen.finish();
	return listen.lines();
}

template <typename V>
std::vector<std::string> receive(const Sound &sound, Demodulator demodulator = Demodulator::reference)
{
	return receive<V>(pcm(sound), demodulator);
}

inline std::string message(const std::string &text, int flips = 0)
{
	return "EVENT:MESSAGE|FLIPS:" + std::to_string(flips) + "|PAYLOAD:" + text;
}

// The payloads of all messages with FLIPS of 0 or more, in order.
inline std::vector<std::string> payloads(const std::vector<std::string> &lines)
{
	std::vector<std::string> texts;
	for (const std::string &line : lines)
		if (line.rfind("EVENT:MESSAGE|FLIPS:", 0) == 0 && line[20] != '-')
			texts.push_back(line.substr(line.find("|PAYLOAD:") + 9));
	return texts;
}
