#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "modem/call_sign.hh"
#include "modem/encoder.hh"
#include "tools/sim/random.hh"
#include "tools/station/send_queue.hh"

// How the station sounds on the air.
struct BurstSettings
{
	int rate = 48000, mapping = 4;
	double freq = 1500; // centre of the carriers, Hz
	double level = -18; // RMS of the burst in dBFS; it peaks about 14 dB above
};

// One checked transmission as mono 16-bit samples, made as encode_stream
// makes them: triangular dither of one step, so that the rounding error of
// a noiseless burst does not stand out as lines in a spectrum.
template <int RATE, int M>
std::vector<short> burst_audio(const Transmission &t, const BurstSettings &set)
{
	auto encoder = std::make_unique<Encoder<RATE, M>>();
	std::vector<DSP::Complex<float>> burst(Encoder<RATE, M>::max_burst_length);
	uint8_t bytes[170] = {};
	std::copy_n(t.payload.begin(), std::min<size_t>(t.payload.size(), sizeof bytes), bytes);
	int length = (*encoder)(burst.data(), bytes, t.mode, encode_call_sign(t.call.c_str()), set.freq);
	// A complex signal of unit power has a real part of half that power.
	float scale = 32768 * std::sqrt(2.f) * std::pow(10.f, float(set.level) / 20);
	Random dither(1);
	std::vector<short> samples(length);
	for (int n = 0; n < length; ++n) {
		float v = std::nearbyint(burst[n].re * scale + float(dither.uniform() - dither.uniform()));
		samples[n] = short(std::clamp(v, -32768.f, 32767.f));
	}
	return samples;
}

template <int RATE>
std::vector<short> burst_audio(const Transmission &t, const BurstSettings &set)
{
	switch (set.mapping) {
	case 2: return burst_audio<RATE, 2>(t, set);
	case 8: return burst_audio<RATE, 8>(t, set);
	default: return burst_audio<RATE, 4>(t, set);
	}
}

inline std::vector<short> burst_audio(const Transmission &t, const BurstSettings &set)
{
	return set.rate == 8000 ? burst_audio<8000>(t, set) : burst_audio<48000>(t, set);
}
