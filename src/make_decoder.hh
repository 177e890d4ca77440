#pragma once

#include <cstdlib>
#include <iostream>
#include <new>

#include "src/decoder.hh"

// A new receiver of the variant for rate and mapping, or null when there is
// no memory for it. An unsupported rate or mapping is reported on standard
// error and ends the program with status 1; the rate is checked first.
inline DecoderInterface *make_decoder(int rate, int mapping)
{
	if (rate != 8000 && rate != 48000) {
		std::cerr << "Unsupported sample rate: " << rate << std::endl;
		std::exit(1);
	}
	if (mapping != 4 && mapping != 8 && mapping != 2) {
		std::cerr << "Unsupported mapping" << std::endl;
		std::exit(1);
	}
	if (rate == 8000) {
		if (mapping == 2) return new (std::nothrow) Decoder<8000, 2>;
		if (mapping == 4) return new (std::nothrow) Decoder<8000, 4>;
		return new (std::nothrow) Decoder<8000, 8>;
	}
	if (mapping == 2) return new (std::nothrow) Decoder<48000, 2>;
	if (mapping == 4) return new (std::nothrow) Decoder<48000, 4>;
	return new (std::nothrow) Decoder<48000, 8>;
}
