#pragma once

#include "modem/decoder_interface.hh"
#include "modem/demodulator.hh"

// The receivers compiled for one instruction set each (stream/decoders.cc):
// a new receiver of a checked variant, or null when there is no memory.
// x86-64 builds have the baseline and level v2, other builds only the native
// one.
DecoderInterface *make_decoder_baseline(int rate, int mapping, Demodulator demodulator);
DecoderInterface *make_decoder_v2(int rate, int mapping, Demodulator demodulator);
DecoderInterface *make_decoder_native(int rate, int mapping, Demodulator demodulator);
