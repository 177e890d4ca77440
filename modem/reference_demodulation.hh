#pragma once

#include <cstdint>

#include "dsp/complex.hh"

// What a receiver of the reference demodulation adds to it: nothing. Every
// hook is empty and constant, so the receiver compiles to the reference alone.
struct ReferenceDemodulation
{
	template <int RATE, int M>
	struct Part
	{
		static constexpr bool wants_symbols = false;

		bool search(const DSP::Complex<float> *, int &, float &) { return false; }
		bool first_sighting(int64_t) { return true; }
		void realign() {}
		template <typename Decode>
		bool metadata_word(const int8_t *soft, const DSP::Complex<float> *, Decode &&decode)
		{
			return decode(soft);
		}
		void metadata(const DSP::Complex<float> *, const float *) {}
		void symbol(int, const DSP::Complex<float> *) {}
		void finish(int8_t *) {}
		template <typename Decode>
		int retry(unsigned char *, int, Decode &&, const unsigned int *)
		{
			return -1;
		}
	};
};
