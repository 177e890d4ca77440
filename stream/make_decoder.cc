#include "stream/make_decoder.hh"

#include <new>

#include "modem/decoder.hh"

StreamError check_variant(int rate, int mapping)
{
	if (rate != 8000 && rate != 48000) return STREAM_BAD_RATE;
	if (mapping != 2 && mapping != 4 && mapping != 8) return STREAM_BAD_MAPPING;
	return STREAM_OK;
}

StreamError check_stream(int rate, int mapping)
{
	return check_variant(rate, mapping == any_mapping ? 4 : mapping);
}

DecoderInterface *make_decoder(int rate, int mapping, Demodulator demodulator)
{
	if (rate == 8000) {
		if (mapping == 2) return new (std::nothrow) Decoder<8000, 2>(demodulator);
		if (mapping == 4) return new (std::nothrow) Decoder<8000, 4>(demodulator);
		return new (std::nothrow) Decoder<8000, 8>(demodulator);
	}
	if (mapping == 2) return new (std::nothrow) Decoder<48000, 2>(demodulator);
	if (mapping == 4) return new (std::nothrow) Decoder<48000, 4>(demodulator);
	return new (std::nothrow) Decoder<48000, 8>(demodulator);
}
