#pragma once

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>

#include "code/polar_decoder.hh"
#include "code/polar_encoder.hh"
#include "dsp/fft.hh"
#include "modem/enhanced_demodulation.hh"
#include "modem/enhanced_demodulator.hh"
#include "modem/turbo_passes.hh"
#include "tools/sim/fading.hh"

// Bursts of mode 15 through a two-path Watterson channel sampled once per
// symbol, straight into the enhanced demodulator: the carriers as the
// receiver's transform would give them, without the synchronizer's and
// the metadata's part in the losses, and without the fading's change
// within a symbol.
template <int M> struct FadedBursts
{
	typedef DSP::Complex<float> cmplx;
	static constexpr int symbols = Air::data_symbols(M), bits = Constellation<M>::bits, bytes = 128;
	const Air::PayloadMode *mode = Air::payload_mode(15);
	std::unique_ptr<EnhancedDemodulator<M>> demod = std::make_unique<EnhancedDemodulator<M>>();
	std::unique_ptr<CODE::PolarDecoder<signed char>> decoder = std::make_unique<CODE::PolarDecoder<signed char>>();
	std::unique_ptr<CODE::PolarDecoder<int16_t>> wide = std::make_unique<CODE::PolarDecoder<int16_t>>();
	std::unique_ptr<EnhancedDemodulation::LongList> longer = std::make_unique<EnhancedDemodulation::LongList>();
	std::unique_ptr<CODE::PolarSoftDecoder> scan = std::make_unique<CODE::PolarSoftDecoder>();
	std::unique_ptr<typename EnhancedDemodulation::template Part<8000, M>> receiver =
		std::make_unique<typename EnhancedDemodulation::template Part<8000, M>>();
	uint8_t payload[bytes], message[bytes];
	signed char word[Air::code_length];
	// The last burst's carriers, the metadata symbol's first, and its metadata values.
	cmplx heard[symbols + 1][256];
	float known[256];
	// Its channel on every carrier of every symbol (before any offset) and
	// the noise power per carrier.
	cmplx truth[symbols + 1][256];
	float noise_power = 1;

	// Burst seed at snr_db per carrier, under a fading of the given delay
	// and Doppler spread; without a spread, through two steady paths that
	// add up to a gain of 1 at the band's middle. With an offset (in
	// carrier spacings) the symbols are heard that much higher, each
	// carrier spread into its neighbours as the receiver's transform of
	// 1280 samples, 1440 apart, spreads it.
	void send(int seed, double snr_db, double delay_ms, double spread_hz, double offset = 0)
	{
		std::mt19937 random(seed);
		noise_power = float(std::pow(10, -snr_db / 10));
		std::normal_distribution<float> gauss(0, float(std::sqrt(std::pow(10, -snr_db / 10) / 2)));
		for (uint8_t &b : payload) b = random();
		CODE::PolarEncoder encoder;
		encoder(word, payload, mode->frozen, 8 * bytes);
		// Without a spread the paths' gains go unused: a filter of no
		// bandwidth has no finite length.
		const double sigma = spread_hz > 0 ? spread_hz / 2 : 1;
		RayleighPath first(100, sigma, 0.5, 2 * seed + 1), second(100, sigma, 0.5, 2 * seed + 2);
		cmplx sent[256], *bins;
		for (int s = -1; s < symbols; ++s) {
			DSP::Complex<double> a, b;
			for (int i = 0; i < 18; ++i) a = first.next(), b = second.next(); // 180 ms
			if (spread_hz == 0) a = b = 0.5;
			bins = heard[s + 1];
			for (int k = 0; k < 256; ++k) {
				if (s < 0) {
					known[k] = random() & 1 ? -1 : 1;
					sent[k] = known[k];
				} else {
					signed char point[bits];
					for (int i = 0; i < bits; ++i) point[i] = word[((s * 256 + k) * bits + i) % Air::code_length];
					sent[k] *= Constellation<M>::point(point);
				}
				double delay = -2 * std::numbers::pi * (k - 128) * 6.25e-3 * delay_ms;
				DSP::Complex<double> h = a + b * DSP::Complex<double>(std::cos(delay), std::sin(delay));
				truth[s + 1][k] = cmplx(float(h.re), float(h.im));
				bins[k] = truth[s + 1][k] * sent[k] + cmplx(gauss(random), gauss(random));
			}
			if (offset != 0) move(bins, offset, s + 1);
			if (s < 0)
				demod->start(bins, known);
			else
				demod->symbol(s, bins);
		}
		demod->finish(symbols);
	}

	// The carriers of window number at (the metadata symbol's 0), moved
	// up by offset carrier spacings in the time domain.
	static void move(cmplx *bins, double offset, int at)
	{
		constexpr int N = 1280, L = 1440;
		cmplx freq[N] = {}, time[N];
		for (int k = 0; k < 256; ++k) freq[(k - 128 + N) % N] = bins[k] / float(N);
		DSP::FastFourierTransform<N, cmplx, 1>()(time, freq);
		for (int n = 0; n < N; ++n) {
			double angle = 2 * std::numbers::pi * offset * (double(at) * L + n) / N;
			time[n] *= cmplx(float(std::cos(angle)), float(std::sin(angle)));
		}
		DSP::FastFourierTransform<N, cmplx, -1>()(freq, time);
		for (int k = 0; k < 256; ++k) bins[k] = freq[(k - 128 + N) % N];
	}

	// 1 when the demodulator's soft values decode to the payload, 0 when
	// they fail the CRC, -1 for a wrong payload: by the receiver's 8-bit
	// list decoder, or by the retries' 16-bit one.
	template <typename T = int8_t>
	int decodes()
	{
		T soft[Air::code_length];
		demod->soft_bits(soft);
		int result;
		if constexpr (sizeof(T) == 1)
			result = (*decoder)(message, soft, mode->frozen, 8 * bytes);
		else
			result = (*wide)(message, soft, mode->frozen, 8 * bytes);
		if (result < 0) return 0;
		return std::equal(message, message + bytes, payload) ? 1 : -1;
	}

	// A round from the demodulator's own decisions.
	void round(bool untwist = true)
	{
		signed char own[Air::code_length];
		demod->decisions(own);
		demod->decided(own, untwist);
	}

	// A round from the list decoder's most likely code word of the last
	// decode that failed.
	void listed()
	{
		signed char best[Air::code_length];
		decoder->best_codeword(best);
		demod->decided(best, true);
	}

	// A checked round from that word against the decisions it came from.
	void checked()
	{
		signed char own[Air::code_length], best[Air::code_length];
		demod->decisions(own);
		decoder->best_codeword(best);
		demod->checked(best, own);
	}

	// What the receiver's payload stage makes of the last burst, every
	// retry included: as decodes(). The reference's soft values, its last
	// try, are none here.
	int retried()
	{
		receiver->metadata(heard[0], known);
		for (int s = 0; s < symbols; ++s) receiver->symbol(s, heard[s + 1]);
		int8_t soft[Air::code_length] = {};
		receiver->finish(soft);
		auto decode = [&](const int8_t *code) {
			int result = (*decoder)(message, code, mode->frozen, 8 * bytes);
			return result >= 0 && std::all_of(message, message + bytes, [](uint8_t b) { return !b; }) ? -1 : result;
		};
		if (decode(soft) < 0 && receiver->retry(message, 8 * bytes, decode, mode->frozen) < 0) return 0;
		return std::equal(message, message + bytes, payload) ? 1 : -1;
	}

	// The demodulator's soft values as they are, then, if they fail, turbo
	// passes from them, all by the 16-bit decoder: as decodes(), with 2 for
	// a burst that only the passes receive.
	int iterated()
	{
		if (int got = decodes<int16_t>()) return got;
		if (passes(*longer) < 0) return 0;
		return std::equal(message, message + bytes, payload) ? 2 : -1;
	}

	// Turbo passes from the demodulator's values as they stand, the last
	// decoded by last_list; as turbo_passes, the payload in message.
	template <typename List>
	int passes(List &last_list)
	{
		auto decode = [&](const int16_t *code) { return (*wide)(message, code, mode->frozen, 8 * bytes); };
		auto last = [&](const int16_t *code) { return last_list(message, code, mode->frozen, 8 * bytes); };
		return turbo_passes(*demod, *scan, *wide, decode, last, mode->frozen);
	}

	// Bits of the code word whose soft value the demodulator has wrong.
	int wrong_bits() const
	{
		int count = 0;
		for (int i = 0; i < Air::code_length; ++i) count += (demod->ratios()[i] < 0) != (word[i] < 0);
		return count;
	}

	// What a receiver that knew every symbol would make of the channel.
	void genie() { demod->decided(word, false); }
	// What a receiver that knew the channel and the noise would make of the
	// symbols.
	void known_channel() { demod->known_channel(truth, noise_power); }
};

