#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "code/polar_decoder.hh"
#include "dsp/complex.hh"
#include "modem/air_interface.hh"
#include "modem/audio_band_synchronizer.hh"
#include "modem/enhanced_demodulator.hh"
#include "modem/soft_bits.hh"
#include "modem/turbo_passes.hh"

// What a receiver of the enhanced demodulation adds to the reference: a
// second preamble search on the audio band, and soft values from a channel
// estimate instead of the previous symbol, with the reference's kept as a
// last try.
struct EnhancedDemodulation
{
	// The list that ends each try's turbo passes: the native lanes hold 16
	// paths, so its lanes are the portable ones, which the compiler
	// vectorises as it can.
	using LongList = CODE::PolarDecoder<int16_t, PortableISA, 64>;

	template <int RATE, int M>
	class Part
	{
		typedef DSP::Complex<float> cmplx;

	public:
		static constexpr bool wants_symbols = true;

		// The audio-band search on view, the receiver's newest history after
		// each sample: true with the detection's position in view and its
		// offset in radians per sample.
		bool search(const cmplx *view, int &symbol_pos, float &cfo_rad)
		{
			if (!band(view)) return false;
			symbol_pos = band.symbol_pos;
			cfo_rad = band.cfo_rad;
			return true;
		}

		// Whether a detection at input sample at is a burst not yet found:
		// with two searches, a burst that both find is taken from the first.
		bool first_sighting(int64_t at)
		{
			if (std::abs(at - last_found) <= Air::guard_length(RATE)) return false;
			last_found = at;
			return true;
		}

		void realign() { band.realign(); }

		// Whether the metadata word decodes from the symbol's carriers
		// -128 … 127, the scrambling taken out: decode(soft) is true when
		// soft decodes and passes the CRC. The receiver's own soft values
		// (unused here) divide each carrier by its lower neighbour: where a
		// fade takes that neighbour down, the ratio is noise blown up to
		// full confidence. Here a bit is the product of the two carriers
		// instead, weighed by the level of both.
		template <typename Decode>
		bool metadata_word(const int8_t *, const cmplx *carriers, Decode &&decode)
		{
			// A tone under the burst makes the carriers next to it strong and
			// wrong; ten times the median power marks them, as in the data
			// symbols (see EnhancedDemodulator::find_tones), and their bits
			// are erased.
			constexpr int n = Air::bch_length, count = Air::carrier_count;
			float power[count], sorted[count];
			for (int k = 0; k < count; ++k) sorted[k] = power[k] = norm(carriers[k]);
			std::nth_element(sorted, sorted + count / 2, sorted + count);
			const float tone = 10 * sorted[count / 2];
			float product[n], sum = 0;
			for (int k = 0; k < n; ++k) {
				bool clear = power[k] <= tone && power[k + 1] <= tone;
				product[k] = clear ? (carriers[k + 1] * conj(carriers[k])).re : 0;
				sum += std::abs(product[k]);
			}
			float scale = sum > 0 ? meta_soft_mean * n / sum : 0;
			int8_t soft[n];
			for (int k = 0; k < n; ++k) soft[k] = quantize_soft(scale * product[k]);
			return decode(soft);
		}

		// carriers: the metadata symbol's -128 … 127; known: their values, ±1.
		void metadata(const cmplx *carriers, const float *known) { demodulator.start(carriers, known); }

		void symbol(int s, const cmplx *carriers) { demodulator.symbol(s, carriers); }

		// After the last data symbol: code holds the reference's soft values,
		// kept for the last try, and gets the enhanced ones.
		void finish(int8_t *code)
		{
			demodulator.finish(Air::data_symbols(M));
			std::copy(code, code + Air::code_length, reference_code);
			demodulator.soft_bits(code);
		}

		// When the payload fails its CRC, each try until one passes:
		// - for up to four points, a demodulation that measures each
		//   symbol's channel from its own M-th power (see
		//   EnhancedDemodulator::blind), whose decisions feed the rounds;
		// - rounds that take decisions as known symbols on every carrier of
		//   every symbol and measure the channel again, smoothed forward and
		//   backward in time (see EnhancedDemodulator::decided): from its own
		//   decisions, with and without turning back the slips of a fade;
		// - its own demodulation again with a channel that extrapolates
		//   instead of lagging, then a round from that one's decisions;
		// - rounds from the list decoder's most likely code word, then
		//   rounds from it that leave out the symbols where the decisions
		//   it came from disagree (see EnhancedDemodulator::checked);
		// - the other drift hypothesis (a drift fitted to noise, or one
		//   missed);
		// - all of that again with the symbols mixed down by the frequency
		//   offset that the burst's own symbols show (see
		//   EnhancedDemodulator::offset_left): under fast fading the
		//   preamble measures where the channel happened to turn during it,
		//   and that offset carried through the burst spreads every
		//   carrier into its neighbours;
		// - a demodulation that fits the channel of each symbol as a few
		//   paths of their own delay (see EnhancedDemodulator::tracked),
		//   then all of the above again with the rounds measuring the
		//   channel as paths; it comes last so that every burst the tries
		//   before it receive is received as before;
		// - the reference's soft values.
		// Every demodulation that fails, the first included, gets a few
		// passes between the demodulator and a soft decoder of the code
		// (see turbo_passes) before the next try, the last pass decoded by
		// a list of 64. Every try but the last goes to list decoders of
		// 16-bit soft values: under fading the 8-bit one saturates on the
		// strong carriers' values and rounds away the weak ones' (of 400
		// bursts through the true channel, moderate profile, mapping 4,
		// 4.5 dB, it receives 196 where the 8-bit one receives 183).
		// payload gets the K bits of a try that passes; decode(soft) is the
		// receiver's own 8-bit decoder, for the last try, and returns the
		// corrected bits or -1; frozen is the code's table of frozen
		// positions.
		template <typename Decode>
		int retry(unsigned char *payload, int K, Decode &&decode, const unsigned int *frozen)
		{
			int16_t soft[Air::code_length];
			int8_t listed[Air::code_length];
			auto wide_decode = [&](const int16_t *code) { return wide(payload, code, frozen, K); };
			// The list rounds take the word of a plain demodulation: the
			// passes' own words lead them astray under fast fading.
			auto attempt = [&] {
				demodulator.soft_bits(soft);
				if (int result = wide_decode(soft); result >= 0) return result;
				wide.best_codeword(listed);
				auto long_decode = [&](const int16_t *code) { return longer(payload, code, frozen, K); };
				return turbo_passes(demodulator, scan, wide, wide_decode, long_decode, frozen);
			};
			auto round = [&](const signed char *word, bool untwist) {
				demodulator.decided(word, untwist);
				return attempt();
			};
			auto own = [&](bool untwist) {
				int8_t word[Air::code_length];
				demodulator.decisions(word);
				return round(word, untwist);
			};
			auto every_round = [&] {
				int result;
				if constexpr (M <= 4) {
					demodulator.blind();
					if ((result = attempt()) >= 0) return result;
				}
				if ((result = own(true)) >= 0 || (result = own(false)) >= 0) return result;
				demodulator.extrapolating(lead);
				if ((result = attempt()) >= 0 || (result = own(true)) >= 0) return result;
				for (int i = 0; i < list_rounds; ++i)
					if ((result = round(listed, true)) >= 0) return result;
				for (int i = 0; i < checked_rounds; ++i) {
					int8_t decisions[Air::code_length];
					demodulator.decisions(decisions);
					demodulator.checked(listed, decisions);
					if ((result = attempt()) >= 0) return result;
				}
				demodulator.other_drift();
				return attempt();
			};
			int result;
			if ((result = attempt()) >= 0 || (result = every_round()) >= 0) return result;
			demodulator.shift(demodulator.offset_left(), Air::symbol_length(RATE));
			if ((result = attempt()) >= 0 || (result = every_round()) >= 0) return result;
			demodulator.tracked(lead);
			if ((result = attempt()) >= 0 || (result = every_round()) >= 0) return result;
			return decode(reference_code);
		}

	private:
		static constexpr int list_rounds = 2;
		// The mean magnitude of the metadata's soft values: far from both the
		// 8-bit limit and the rounding to whole numbers (16 to 48 fare alike).
		static constexpr float meta_soft_mean = 32;
		// Each checked round gains less than the one before: on faded
		// bursts (poor profile, mapping 4, 9 dB) the eighth still one in
		// 200.
		static constexpr int checked_rounds = 8;
		// The extrapolation's share of the last step: measured on faded
		// bursts, 0.8 to 1 fare alike and 0.5 gives less.
		static constexpr float lead = 0.8f;

		CODE::PolarSoftDecoder scan;
		CODE::PolarDecoder<int16_t> wide;
		LongList longer;
		AudioBandSynchronizer<RATE> band;
		EnhancedDemodulator<M> demodulator;
		int8_t reference_code[Air::code_length];
		int64_t last_found = -Air::extended_length(RATE); // input samples
	};
};
