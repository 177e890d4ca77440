#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "code/polar_encoder.hh"
#include "dsp/complex.hh"
#include "dsp/fft.hh"
#include "modem/air_interface.hh"
#include "modem/constellation.hh"
#include "modem/metadata.hh"
#include "modem/mls.hh"
#include "modem/xorshift.hh"

// Modulator of one burst for the receiver variant RATE (8000 or 48000 Hz)
// and mapping M (2, 4 or 8), as complex baseband moved to a centre frequency.
//
// A burst is the synchronisation symbol, the metadata symbol and, for modes
// 14, 15 and 16, symbol_count data symbols. Every symbol is extended_length
// samples: its symbol_length-sample block, preceded by the block's last
// guard_length/2 samples and followed by its first guard_length/2 samples.
// The guard is split on purpose. The synchronizer's metric has a plateau of
// guard_length + 1 timings wherever it sits in a run of guard_length +
// 2·(symbol_length/2) periodic samples, and it takes a position guard_length/2
// + 1 samples before the end of the guard; its correlation phase may then move
// the position by at most guard_length/2 samples. A plain cyclic prefix of
// guard_length samples leaves the block start guard_length/2 + 1 samples away,
// one beyond that limit, and the burst is never detected. With half of the
// guard on each side the metric alone lands one sample before the block, and
// every later window of the receiver, a whole number of extended_length
// samples on, starts within a sample or two of its block, inside the cyclic
// extension on either side.
//
// Every symbol has a mean power of 1 per complex sample: 256 carriers of
// magnitude 1/16, and 128 carriers of magnitude √2/16 in the synchronisation
// symbol's half-length transform.
template <int RATE, int M>
class Encoder
{
	static_assert(RATE == 8000 || RATE == 48000);

public:
	static constexpr int symbol_length = Air::symbol_length(RATE);
	static constexpr int guard_length = Air::guard_length(RATE);
	static constexpr int extended_length = Air::extended_length(RATE);
	static constexpr int carrier_count = Air::carrier_count;
	static constexpr int mod_bits = Constellation<M>::bits;
	static constexpr int symbol_count = Air::data_symbols(M);
	static constexpr int code_length = Air::code_length;
	static constexpr int max_burst_length = (2 + symbol_count) * extended_length;
	static constexpr float carrier_spacing = Air::carrier_spacing;

	// Samples of a burst of the given mode.
	static constexpr int burst_length(int mode)
	{
		return (Air::payload_bytes(mode) ? 2 + symbol_count : 2) * extended_length;
	}

	// Lowest and highest carrier offsets from the centre frequency, in Hz.
	static constexpr double lowest_offset = -128 * Air::carrier_spacing;
	static constexpr double highest_offset = 127 * Air::carrier_spacing;

	// Writes burst_length(mode) samples to out. payload holds payload_bytes(mode)
	// bytes before whitening and is not read for other modes; call_sign is the
	// 47-bit base-37 number (not checked here, so that tests can send any);
	// freq is the centre frequency in Hz, where carrier 0 lies.
	int operator()(DSP::Complex<float> *out, const uint8_t *payload, int mode, uint64_t call_sign, double freq)
	{
		int length = 0;
		synchronization_symbol(out);
		length += extended_length;
		metadata_symbol(out + length, mode, call_sign);
		length += extended_length;
		if (Air::payload_bytes(mode)) {
			encode_payload(payload, mode);
			for (int s = 0; s < symbol_count; ++s, length += extended_length)
				data_symbol(out + length, s);
		}
		move_to(out, length, freq);
		return length;
	}

	// The 2048 bipolar code bits of the last payload burst (+1 for bit 0).
	const signed char *code_word() const { return codeword; }

private:
	static constexpr int half_length = symbol_length / 2;
	static constexpr float carrier_level = 1.f / 16;
	static constexpr float sync_level = std::numbers::sqrt2_v<float> / 16;

	DSP::FastFourierTransform<symbol_length, DSP::Complex<float>, 1> bwd;
	DSP::FastFourierTransform<half_length, DSP::Complex<float>, 1> half_bwd;
	CODE::PolarEncoder polar;
	signed char codeword[code_length];
	DSP::Complex<float> freq_buffer[symbol_length];
	DSP::Complex<float> block[symbol_length];
	// Carriers -128 … 127 of the latest symbol, the differential reference of the next.
	DSP::Complex<float> carriers[carrier_count];

	static int bin(int carrier, int length) { return (carrier + length) % length; }

	// Writes the block cyclically extended by guard_length/2 samples on both sides.
	void extend(DSP::Complex<float> *out) const
	{
		for (int m = 0; m < extended_length; ++m)
			out[m] = block[(m - guard_length / 2 + symbol_length) % symbol_length];
	}

	// Two identical halves: carriers -64 … 63 of the half-length transform, the
	// ratio of carrier c to carrier c - 1 being the sequence's element c + 63.
	void synchronization_symbol(DSP::Complex<float> *out)
	{
		for (int i = 0; i < half_length; ++i) freq_buffer[i] = 0;
		MLS seq(Air::sync_polynomial);
		float value = sync_level;
		freq_buffer[bin(-64, half_length)] = value;
		for (int c = -63; c <= 63; ++c) {
			if (seq()) value = -value;
			freq_buffer[bin(c, half_length)] = value;
		}
		half_bwd(block, freq_buffer);
		for (int i = 0; i < half_length; ++i) block[half_length + i] = block[i];
		extend(out);
	}

	// The metadata code word, each bit the ratio of a carrier to its lower
	// neighbour, scrambled.
	void metadata_symbol(DSP::Complex<float> *out, int mode, uint64_t call_sign)
	{
		uint8_t code[32] = {};
		metadata_code_word(code, mode, call_sign);
		float values[carrier_count];
		metadata_carriers(values, code);
		for (int k = 0; k < carrier_count; ++k) carriers[k] = values[k];
		modulate(out);
	}

	// Whitened payload, polar encoded with the mode's table.
	void encode_payload(const uint8_t *payload, int mode)
	{
		const Air::PayloadMode &m = *Air::payload_mode(mode);
		uint8_t message[Air::max_payload_bytes];
		Xorshift32 whitening;
		for (int i = 0; i < m.bytes; ++i) message[i] = payload[i] ^ whitening();
		polar(codeword, message, m.frozen, 8 * m.bytes);
	}

	// Data symbol s: every carrier is the previous symbol's times the point of
	// its mod_bits code bits. Bit slots past the code word (mapping 8: the last
	// 1024 of a burst) repeat the code word from its start.
	void data_symbol(DSP::Complex<float> *out, int s)
	{
		for (int k = 0; k < carrier_count; ++k) {
			signed char bits[mod_bits];
			for (int b = 0; b < mod_bits; ++b)
				bits[b] = codeword[((s * carrier_count + k) * mod_bits + b) % code_length];
			carriers[k] *= Constellation<M>::point(bits);
		}
		modulate(out);
	}

	void modulate(DSP::Complex<float> *out)
	{
		for (int i = 0; i < symbol_length; ++i) freq_buffer[i] = 0;
		for (int k = 0; k < carrier_count; ++k)
			freq_buffer[bin(k - carrier_count / 2, symbol_length)] = carriers[k] * carrier_level;
		bwd(block, freq_buffer);
		extend(out);
	}

	// Multiplies by e^(2πi·freq·n/RATE), n counted from the burst's first sample.
	static void move_to(DSP::Complex<float> *out, int length, double freq)
	{
		for (int n = 0; n < length; ++n) {
			double turns = std::fmod(freq * n, double(RATE)) / RATE;
			double phase = 2 * std::numbers::pi * turns;
			out[n] *= DSP::Complex<float>(float(std::cos(phase)), float(std::sin(phase)));
		}
	}
};
