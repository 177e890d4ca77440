#include "stream/make_decoder.hh"

#include <new>

#include "modem/decoder.hh"
#include "modem/enhanced_demodulation.hh"

StreamError check_variant(int rate, int mapping)
{
	if (rate != 8000 && rate != 48000) return STREAM_BAD_RATE;
	if (mapping != 2 && mapping != 4 && mapping != 8) return STREAM_BAD_MAPPING;
	return STREAM_OK;
}

namespace {

template <class Extension>
DecoderInterface *make(int rate, int mapping)
{
	if (rate == 8000) {
		if (mapping == 2) return new (std::nothrow) Decoder<8000, 2, Extension>;
		if (mapping == 4) return new (std::nothrow) Decoder<8000, 4, Extension>;
		return new (std::nothrow) Decoder<8000, 8, Extension>;
	}
	if (mapping == 2) return new (std::nothrow) Decoder<48000, 2, Extension>;
	if (mapping == 4) return new (std::nothrow) Decoder<48000, 4, Extension>;
	return new (std::nothrow) Decoder<48000, 8, Extension>;
}

}

DecoderInterface *make_decoder(int rate, int mapping, Demodulator demodulator)
{
	if (demodulator == Demodulator::enhanced) return make<EnhancedDemodulation>(rate, mapping);
	return make<ReferenceDemodulation>(rate, mapping);
}
