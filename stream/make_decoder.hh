#pragma once

#include "modem/decoder_interface.hh"
#include "modem/demodulator.hh"

// Why a receiver could not be had.
enum StreamError
{
	STREAM_OK = 0,
	STREAM_BAD_RATE = 1,    // the rate is neither 8000 nor 48000 Hz
	STREAM_BAD_MAPPING = 2, // the mapping is not 2, 4 or 8 points (or any_mapping where allowed)
	STREAM_BAD_CHANNEL = 3, // the channel selection is not 0 to 4
	STREAM_NO_MEMORY = 4,
};

// Whether rate and mapping name one of the six variants; the rate is
// checked first.
StreamError check_variant(int rate, int mapping);

// The mapping of a stream that listens for all three at once.
constexpr int any_mapping = 0;

// As check_variant, where the mapping may also be any_mapping.
StreamError check_stream(int rate, int mapping);

// A new receiver of a variant that check_variant accepts, or null when
// there is no memory for it.
DecoderInterface *make_decoder(int rate, int mapping, Demodulator demodulator = Demodulator::reference);
