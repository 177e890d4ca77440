// The six receiver variants with both demodulations, for the instruction set
// this file is compiled for (DECODERS_ISA names it: baseline, v2 or native).
// The file is compiled once per instruction set the library dispatches on. The receiver's headers go into an unnamed namespace, so
// that every compilation keeps its own copy of each inline function and
// template: otherwise the linker would pick one of the copies, perhaps one
// with instructions the processor lacks, for all of them.
#include "stream/receiver_prelude.hh"

#include "stream/decoders.hh"

#include <new>

namespace {
#include "modem/decoder.hh"
#include "modem/enhanced_demodulation.hh"

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

#define FACTORY(isa) make_decoder_##isa
#define NAMED_FACTORY(isa) FACTORY(isa)

DecoderInterface *NAMED_FACTORY(DECODERS_ISA)(int rate, int mapping, Demodulator demodulator)
{
	if (demodulator == Demodulator::enhanced) return make<EnhancedDemodulation>(rate, mapping);
	return make<ReferenceDemodulation>(rate, mapping);
}
