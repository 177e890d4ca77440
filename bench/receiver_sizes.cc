// The memory one receiver takes, per variant and demodulator: the one
// allocation make_decoder makes for it.
#include <cstdio>

#include "modem/decoder.hh"
#include "modem/enhanced_demodulation.hh"

template <int RATE, int M>
void row()
{
	std::printf("%-6d %-7d %9zu %9zu\n", RATE, M, sizeof(Decoder<RATE, M, ReferenceDemodulation>),
		    sizeof(Decoder<RATE, M, EnhancedDemodulation>));
}

int main()
{
	std::printf("%-6s %-7s %9s %9s\n", "rate", "mapping", "reference", "enhanced");
	row<8000, 2>();
	row<8000, 4>();
	row<8000, 8>();
	row<48000, 2>();
	row<48000, 4>();
	row<48000, 8>();
}
