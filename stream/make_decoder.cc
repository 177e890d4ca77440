#include "stream/make_decoder.hh"

#include <cstdlib>
#include <cstring>

#include "stream/decoders.hh"

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

#if defined(OFDM_BURST_DISPATCH)

namespace {

typedef DecoderInterface *Factory(int, int, Demodulator);

// The x86-64 level v2 by its features, which every compiler's
// __builtin_cpu_supports knows.
bool has_v2()
{
	return __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
}

struct Level
{
	const char *name;
	Factory *factory;
	bool supported;
};

// The faster first (see CMakeLists.txt). OFDM_BURST_ISA names a level to use instead, if the
// processor has it: every level gives the same results, bit for bit, and
// tests compare them.
const Level &chosen()
{
	static const Level level = [] {
		__builtin_cpu_init();
		const Level levels[] = {
			{"v2", make_decoder_v2, has_v2()},
			{"baseline", make_decoder_baseline, true},
		};
		const char *wanted = std::getenv("OFDM_BURST_ISA");
		for (const Level &l : levels)
			if (l.supported && (!wanted || !*wanted || !std::strcmp(wanted, l.name))) return l;
		return levels[1];
	}();
	return level;
}

}

DecoderInterface *make_decoder(int rate, int mapping, Demodulator demodulator)
{
	return chosen().factory(rate, mapping, demodulator);
}

const char *decoder_isa() { return chosen().name; }

#else

DecoderInterface *make_decoder(int rate, int mapping, Demodulator demodulator)
{
	return make_decoder_native(rate, mapping, demodulator);
}

const char *decoder_isa() { return "native"; }

#endif
