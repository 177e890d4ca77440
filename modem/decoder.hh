#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "dsp/coeffs.hh"
#include "dsp/complex.hh"
#include "dsp/dc_blocker.hh"
#include "dsp/fft.hh"
#include "dsp/hann.hh"
#include "dsp/hilbert.hh"
#include "dsp/low_pass.hh"
#include "dsp/oscillator.hh"
#include "dsp/theil_sen.hh"
#include "code/assert.hh"
#include "code/osd.hh"
#include "code/polar_decoder.hh"
#include "modem/air_interface.hh"
#include "modem/call_sign.hh"
#include "modem/constellation.hh"
#include "modem/decoder_interface.hh"
#include "modem/metadata.hh"
#include "modem/reference_demodulation.hh"
#include "modem/schmidl_cox.hh"
#include "modem/soft_bits.hh"
#include "modem/spectrum.hh"
#include "modem/sync_sequence.hh"
#include "modem/xorshift.hh"

// One receiver variant: RATE 8000 or 48000 Hz, mapping M of 2, 4 or 8 points.
// Extension is what the receiver adds to the reference demodulation:
// ReferenceDemodulation adds nothing, EnhancedDemodulation a second preamble
// search and its own soft values (see there for what it must provide).
// Every table and buffer lives inside the object, built by the constructor;
// nothing is allocated while samples flow.
template <int RATE, int M, class Extension = ReferenceDemodulation>
class Decoder final : public DecoderInterface
{
	static_assert(RATE == 8000 || RATE == 48000, "unsupported sample rate");
	static_assert(M == 2 || M == 4 || M == 8, "unsupported mapping");
	typedef DSP::Complex<float> cmplx;

public:
	static constexpr int symbol_length = Air::symbol_length(RATE);
	static constexpr int guard_length = Air::guard_length(RATE);
	static constexpr int extended_length = Air::extended_length(RATE);
	static constexpr int history_length = 4 * extended_length;
	static constexpr int spectrum_length = extended_length / 2;
	static constexpr int hilbert_taps = RATE == 8000 ? 33 : 197;
	static constexpr int mod_bits = Constellation<M>::bits;
	static constexpr int symbol_count = Air::data_symbols(M);
	static constexpr int carrier_count = Air::carrier_count;
	static constexpr int code_length = Air::code_length;
	static constexpr int payload_bytes = Air::max_payload_bytes;

	Decoder() : correlator(sync_sequence<symbol_length / 2>().data())
	{
		for (int i = 0; i < 2 * history_length; ++i) input_ring[i] = 0;
		for (int i = 0; i < extended_length; ++i) time_buffer[i] = 0;
		for (int i = 0; i < symbol_length; ++i) freq_buffer[i] = 0;
		for (int k = 0; k < carrier_count; ++k) {
			carriers[k] = 0;
			carrier_index[k] = phase_error[k] = 0;
		}
		std::fill(levels, levels + SpectrumImage::width, 0.f);
		dc_blocker.samples(hilbert_taps);
		forget_burst();
	}

	bool feed(const short *samples, int sample_count, int channel) final
	{
		ASSERT(sample_count <= extended_length);
		for (int done = 0; done < sample_count;) {
			int count = std::min(chunk_length, sample_count - done);
			intake(analytic, samples, done, count, channel);
			for (int i = 0; i < count; ++i) take(analytic[i]);
			done += count;
		}
		if (period_count < extended_length) return false;
		period_count -= extended_length;
		if (sync_found) {
			staged_position = sync_position;
			staged_cfo = sync_cfo;
			sync_found = false;
			staged_pending = true;
		}
		return true;
	}

	int process() final
	{
		int result = STATUS_OKAY;
		if (staged_pending) result = preamble();
		if (result != STATUS_SYNC && symbol_number >= symbol_count) return result;
		data_symbol();
		if (symbol_number == symbol_count) result = STATUS_DONE;
		return result;
	}

	void spectrum(unsigned *plot, unsigned *waterfall, int colour) final
	{
		SpectrumImage scroll(waterfall);
		for (int offset : {5 * extended_length / 2, 3 * extended_length}) {
			spectrum_levels(offset);
			std::copy_backward(waterfall, waterfall + (scroll.height - 1) * scroll.width,
					   waterfall + scroll.height * scroll.width);
			for (int i = 0; i < scroll.width; ++i) scroll(i, 0) = spectrum_colour(levels[i]);
		}
		spectrum_plot(SpectrumImage(plot), levels, colour);
	}

	void staged(float *cfo, int *mode_out, unsigned char *call) final
	{
		constexpr float hz_per_radian = RATE / (2 * std::numbers::pi_v<float>); // per sample
		*cfo = staged_cfo * hz_per_radian;
		*mode_out = mode;
		render_call_sign(call, call_sign);
	}

	int fetch(unsigned char *payload) final
	{
		const Air::PayloadMode *m = Air::payload_mode(payload_mode);
		if (!m) return -1;
		const int bytes = m->bytes;
		auto decode = [&](const int8_t *soft) { return polar(payload, soft, m->frozen, 8 * bytes); };
		int result = decode(code);
		// The CRC tells whether another try of the extension's is right.
		if (result < 0 && symbol_number >= symbol_count) result = extension.retry(payload, 8 * bytes, decode, m->frozen);
		// The all-zero word passes the CRC, which starts from zero: it is
		// what a transmitter stuck on one symbol sends, never a message.
		if (result >= 0 && std::all_of(payload, payload + bytes, [](unsigned char b) { return !b; })) result = -1;
		Xorshift32 whitening;
		for (int i = 0; i < bytes; ++i) payload[i] ^= whitening();
		std::fill(payload + bytes, payload + payload_bytes, 0);
		return result;
	}

	int rate() final { return RATE; }

	void restart() final
	{
		forget_burst();
		correlator.realign(history());
		extension.realign();
	}

	// The newest history_length analytic samples, oldest first.
	const cmplx *history() const { return input_ring + std::min(ring_pos0, ring_pos1); }

private:
	static constexpr int chunk_length = 64;

	// Symbols of a clean burst agree with their constellation points so well
	// that the scale would put nearly every soft value at the 8-bit limit,
	// where the list decoder can no longer tell a carrier that a tone or a
	// glitch spoiled from a sound one. Measured at the 90 % points of the
	// noise curves the scale stays below 7; above 20 a single tone on one
	// carrier of a clean mapping 2 burst can make its payload fail.
	static constexpr float max_scale = 12;

	static int bin(int carrier) { return (carrier + symbol_length) % symbol_length; }

	// Tables that never change are built once per process, on first use, and
	// shared by every receiver: a replaced receiver does not pay for them.
	// The spectrum's analysis window: Hann times a 6.25 Hz low-pass.
	static const float *spectrum_taps()
	{
		static const DSP::Coeffs<extended_length, float, true> taps = [] {
			DSP::Hann<float> hann;
			DSP::LowPass2<float> low_pass(1, symbol_length);
			return DSP::Coeffs<extended_length, float, true>(&hann, &low_pass);
		}();
		return taps.data();
	}

	// What a new receiver knows of bursts: nothing. The input heard so far
	// (filters, history, synchronizer and the period in progress) is kept.
	void forget_burst()
	{
		// One step of a -2000 Hz rotation; replaced before use by every accepted preamble.
		phasor_delta = RATE == 8000 ? cmplx(0, -1) : cmplx(0.96592583f, -0.25881905f);
		phasor = cmplx(1, 0);
		for (cmplx &c : prev_carriers) c = 0;
		symbol_number = symbol_count;
		symbol_position = 2 * extended_length;
		staged_position = 0;
		staged_cfo = 0;
		staged_pending = false;
		mode = payload_mode = 0;
		call_sign = 0;
	}

	// DC blocker and Hilbert transformer, or the I/Q pair as it is.
	void intake(cmplx *out, const short *samples, int first, int count, int channel)
	{
		constexpr float scale = 1.f / 32768, half = 1.f / 65536;
		if (channel == 4) {
			for (int i = 0; i < count; ++i) {
				const short *frame = samples + 2 * (first + i);
				out[i] = cmplx(frame[0] * scale, frame[1] * scale);
			}
			return;
		}
		float real[chunk_length];
		for (int i = 0, j = first; i < count; ++i, ++j) {
			float x;
			switch (channel) {
			case 1: x = samples[2 * j] * scale; break;
			case 2: x = samples[2 * j + 1] * scale; break;
			case 3: x = float(samples[2 * j] + samples[2 * j + 1]) * half; break;
			default: x = samples[j] * scale;
			}
			real[i] = dc_blocker(x);
		}
		hilbert(out, real, count);
	}

	// One analytic sample into the ring, which holds every sample twice so
	// that the newest history_length samples are always one array.
	void take(cmplx sample)
	{
		input_ring[ring_pos0] = sample;
		input_ring[ring_pos1] = sample;
		if (++ring_pos0 == 2 * history_length) ring_pos0 = 0;
		if (++ring_pos1 == 2 * history_length) ring_pos1 = 0;
		const cmplx *view = input_ring + std::min(ring_pos0, ring_pos1);
		if (correlator(view)) found(correlator.symbol_pos, correlator.cfo_rad);
		int symbol_pos;
		float cfo_rad;
		if (extension.search(view, symbol_pos, cfo_rad)) found(symbol_pos, cfo_rad);
		++heard;
		if (++period_count == extended_length) window = view;
	}

	// A detection at symbol_pos of this sample's view.
	void found(int symbol_pos, float cfo_rad)
	{
		if (!extension.first_sighting(heard + symbol_pos)) return;
		sync_found = true;
		sync_position = period_count + symbol_pos;
		sync_cfo = cfo_rad;
	}

	// Frequency-corrects count samples of window from offset into
	// time_buffer with the oscillator osc, stepping it by delta and keeping
	// it on the unit circle; returns the oscillator after count steps.
	cmplx correct(int offset, cmplx osc, cmplx delta, int count)
	{
		return DSP::mix(time_buffer, window + offset, osc, delta, count);
	}

	int preamble()
	{
		staged_pending = false;
		cmplx delta(std::cos(staged_cfo), -std::sin(staged_cfo));
		correct(staged_position, cmplx(1, 0), delta, symbol_length);
		fft(freq_buffer, time_buffer);
		for_each_scrambled_carrier([this](int k) { freq_buffer[bin(k - 128)] *= -1.f; });
		for (int k = 0; k < Air::bch_length; ++k) {
			cmplx a = freq_buffer[bin(k - 128)], b = freq_buffer[bin(k - 127)];
			float power = norm(a);
			meta_soft[k] = 0;
			if (!(power > 0)) continue;
			cmplx ratio = b * conj(a) / power;
			if (norm(ratio) <= 10) meta_soft[k] = quantize_soft(64 * ratio.re);
		}
		for (int k = 0; k < carrier_count; ++k) carriers[k] = freq_buffer[bin(k - 128)];
		auto decode = [this](const int8_t *soft) {
			return osd(meta_bits, soft, metadata_generator()) && read_metadata(meta_bits, mode, call_sign);
		};
		if (!extension.metadata_word(meta_soft, carriers, decode)) return STATUS_FAIL;
		if (mode != Air::ping_mode && !Air::payload_mode(mode)) return STATUS_NOPE;
		if (call_sign - 1 >= call_sign_limit - 1) {
			call_sign = 0;
			return STATUS_NOPE;
		}
		if (mode == Air::ping_mode) return STATUS_PING;
		payload_mode = mode;
		phasor_delta = delta;
		symbol_number = -1;
		symbol_position = staged_position;
		return STATUS_SYNC;
	}

	// One symbol at symbol_position, differential against the previous one;
	// the reference step (symbol_number -1) only records the spectrum.
	void data_symbol()
	{
		phasor = correct(symbol_position, phasor, phasor_delta, extended_length);
		fft(freq_buffer, time_buffer);
		if (symbol_number >= 0) demodulate();
		if (extension.wants_symbols) extension_symbol();
		++symbol_number;
		for (int k = 0; k < carrier_count; ++k) prev_carriers[k] = freq_buffer[bin(k - 128)];
	}

	void demodulate()
	{
		typedef Constellation<M> map;
		int points = 0;
		for (int k = 0; k < carrier_count; ++k) {
			cmplx prev = prev_carriers[k];
			float power = norm(prev);
			carriers[k] = 0;
			if (!(power > 0)) continue;
			cmplx z = freq_buffer[bin(k - 128)] * conj(prev) / power;
			if (!(norm(z) <= 10)) continue;
			carriers[k] = z;
			if (z.re == 0 || z.im == 0) continue;
			cmplx w = z * conj(map::hard(z));
			carrier_index[points] = k - 128;
			phase_error[points] = float(std::atan2(double(w.im), double(w.re)));
			++points;
		}
		tse.compute(carrier_index, phase_error, points);
		float signal = 0, noise = 0;
		for (int k = 0; k < carrier_count; ++k) {
			float theta = tse.yint + tse.slope * float(k - 128);
			carriers[k] *= cmplx(std::cos(theta), std::sin(-theta));
			cmplx h = map::hard(carriers[k]);
			signal += norm(h);
			noise += norm(carriers[k] - h);
		}
		float scale = std::min(signal / noise * map::factor, max_scale);
		for (int k = 0; k < carrier_count; ++k) {
			int index = (symbol_number * carrier_count + k) * mod_bits;
			int8_t soft[mod_bits];
			map::soft(soft, carriers[k], scale);
			for (int b = 0; b < mod_bits && index + b < code_length; ++b) code[index + b] = soft[b];
		}
	}

	// The extension's view of the burst: the metadata symbol with its values
	// known from the decoded word, then every data symbol; after the last one
	// it may replace the soft values.
	void extension_symbol()
	{
		for (int k = 0; k < carrier_count; ++k) carriers[k] = freq_buffer[bin(k - 128)];
		if (symbol_number < 0) {
			float known[carrier_count];
			metadata_carriers(known, meta_bits);
			extension.metadata(carriers, known);
			return;
		}
		extension.symbol(symbol_number, carriers);
		if (symbol_number == symbol_count - 1) extension.finish(code);
	}

	// Levels of the extended_length samples at window offset, folded to half
	// length after the low-pass window.
	void spectrum_levels(int offset)
	{
		cmplx *fold = time_buffer;
		for (int i = 0; i < spectrum_length; ++i) fold[i] = 0;
		const float *taps = spectrum_taps();
		for (int i = 0; i < extended_length; ++i) fold[i % spectrum_length] += window[offset + i] * taps[i];
		spectrum_fft(freq_buffer, fold);
		for (int i = 0; i < SpectrumImage::width; ++i) levels[i] = spectrum_level(freq_buffer[i]);
	}

	DSP::FastFourierTransform<symbol_length, cmplx, -1> fft;
	DSP::FastFourierTransform<spectrum_length, cmplx, -1> spectrum_fft;
	SchmidlCox<float, cmplx, extended_length, symbol_length / 2, guard_length> correlator;
	[[no_unique_address]] typename Extension::template Part<RATE, M> extension;
	DSP::DCBlocker<float> dc_blocker;
	DSP::Hilbert<float, hilbert_taps> hilbert;
	cmplx analytic[chunk_length]; // a member: a local array would be zeroed on every chunk
	cmplx input_ring[2 * history_length];
	int ring_pos0 = 0, ring_pos1 = history_length;
	DSP::TheilSenEstimator<float, carrier_count> tse;
	cmplx phasor, phasor_delta;
	CODE::OrderedStatisticsDecoder<Air::bch_length, Air::bch_message, 2> osd;
	CODE::PolarDecoder<signed char> polar;
	cmplx time_buffer[extended_length], freq_buffer[symbol_length];
	cmplx prev_carriers[carrier_count], carriers[carrier_count];
	float levels[SpectrumImage::width];
	float carrier_index[carrier_count], phase_error[carrier_count];
	int8_t code[code_length];
	int8_t meta_soft[Air::bch_length];
	uint8_t meta_bits[32];
	// The burst: set by forget_burst().
	int symbol_number, symbol_position, staged_position, mode, payload_mode;
	float staged_cfo;
	uint64_t call_sign;
	bool staged_pending;
	// The input.
	int sync_position = 0, period_count = 0;
	float sync_cfo = 0;
	bool sync_found = false;
	int64_t heard = 0; // input samples before this one
	// Points at the zeroed ring until the first period ends, so that an early
	// spectrum() reads silence instead of an undefined pointer.
	const cmplx *window = input_ring;
};
