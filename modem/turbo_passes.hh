#pragma once

#include <cstdint>

#include "code/polar_soft_decoder.hh"
#include "modem/air_interface.hh"

// Turbo decoding of a burst whose payload failed its CRC: what the code
// says of each code bit becomes the demodulator's prior, whose soft values,
// the prior left out, go to the decoders again, before and after the
// demodulator measures the channel again from what the prior expects;
// demodulator is an EnhancedDemodulator. The code speaks twice: through
// the soft cancellation decoder scan, and through the paths of list, the
// 16-bit list decoder that decode(soft) runs, which returns the corrected
// bits or -1. The values the last pass ends with go to final_decode(soft)
// instead, as decode but a longer list. frozen is the code's table of
// frozen positions. When no pass decodes, the soft values are the
// demodulator's own under the channel measured last: the later tries fare
// better from it than from the first (on 600 faded bursts, 5 more
// received).
template <typename Demodulator, typename List, typename Decode, typename Final>
int turbo_passes(Demodulator &demodulator, CODE::PolarSoftDecoder &scan, const List &list, Decode &&decode,
		 Final &&final_decode, const unsigned int *frozen)
{
	// Of 100 bursts in white noise (mapping 4, 0.5 dB in 3 kHz) the tries
	// without passes receive 31; with the soft decoder's view alone two
	// passes 71, four 77, six 78. With the paths' view as well the whole
	// retry receives 84 of them with four passes and 90 with eight, and
	// under moderate fading (mapping 4, 4.5 dB, 400 bursts) 222 and 227
	// against 216 with the soft decoder's four.
	constexpr int passes = 8;
	// Either decoder's values are surer than they are right, the channel
	// estimates they rest on being estimates: the soft decoder's alone, on
	// passes from the first demodulation, save the most scaled by 0.25 to
	// 0.35, and unscaled a third of that. Half of that for each of the two
	// views.
	constexpr float trust = 0.15f;
	int16_t soft[Air::code_length];
	float prior[Air::code_length], paths[Air::code_length];
	scan.reset(frozen);
	for (int pass = 0; pass < passes; ++pass) {
		// A second sweep over the code's graph before the prior goes back
		// lets what each part of the code learnt reach the others: 77
		// bursts of those 100 against 72, and a third adds none.
		const float *ratios = demodulator.ratios();
		scan(prior, ratios);
		scan(prior, ratios);
		// The list last decoded these ratios; its paths' view, less what
		// the ratios themselves said, is what the code adds to them.
		list.path_ratios(paths);
		const float scale = demodulator.template soft_scale<int16_t>();
		const float unscale = scale > 0 ? 1 / scale : 0;
		for (int i = 0; i < Air::code_length; ++i) prior[i] = trust * (prior[i] + paths[i] * unscale - ratios[i]);
		demodulator.prior_ratios(prior);
		demodulator.soft_bits(soft);
		if (int result = decode(soft); result >= 0) return result;
		// The channel measured again from the values the code now
		// expects: under fading (mapping 4, moderate and poor, 6 to 12 dB)
		// 2 more bursts of 100 on average, up to 4.
		demodulator.follow(prior);
		demodulator.soft_bits(soft);
		// A list four times as long, on the values the passes end with,
		// receives what the short one misses by a path: under moderate
		// fading (mapping 4, 4.5 dB, 400 bursts) the whole retry 235
		// against 228. Run on the last pass's both values, or on its last
		// two passes', it gains no more, nor on the demodulator's own
		// values after the passes (228); twelve passes with it receive
		// 232.
		const bool last = pass == passes - 1;
		if (int result = last ? final_decode(soft) : decode(soft); result >= 0) return result;
	}
	demodulator.prior_ratios(nullptr);
	return -1;
}
