// Arbitrary bytes as PCM into a receiver, driven as decode_stream drives it.
// Byte 0 picks the variant, byte 1 the channel selection (-1 to 6, so that
// both stereo and the values counted as mono occur) and whether the spectrum
// is drawn after every period; the rest is native-endian 16-bit samples.

#include <cstdint>
#include <vector>

#include "fuzz/byte_reader.hh"
#include "fuzz/driven_receiver.hh"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	ByteReader in(data, size);
	int variant = in.byte() % 6;
	int select = in.byte();
	int channel = (select & 7) - 1;
	bool draw = select & 8;
	int width = channel >= 1 && channel <= 4 ? 2 : 1;
	std::vector<short> samples(in.remaining() / 2);
	in.bytes(samples.data(), samples.size() * 2);
	static const int mappings[] = {2, 4, 8};
	drive_receiver(variant < 3 ? 8000 : 48000, mappings[variant % 3], channel, samples.data(),
		       samples.size() / width, draw);
	return 0;
}
