// Arbitrary bytes as PCM into a receiver, driven as decode_stream drives it.
// Byte 0 picks the variant: 0 to 5 for 8000 Hz mapping 2, 4, 8 and 48000 Hz
// mapping 2, 4, 8, 6 and 7 for 8000 and 48000 Hz listening for any mapping,
// any larger value an 8000 Hz one, where most of the code is reached six
// times cheaper. Byte 1 picks the channel selection (-1 to 6,
// so that both stereo and the values counted as mono occur), whether the
// spectrum is drawn after every period and whether the enhanced
// demodulator listens, whose retries take whatever a burst that fails its
// CRC holds; the rest is native-endian 16-bit
// samples, of which at most 4 s are taken at 8000 Hz (two whole bursts) and
// 2.5 s at 48000 Hz (one).

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/byte_reader.hh"
#include "fuzz/driven_receiver.hh"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	ByteReader in(data, size);
	int variant = in.byte();
	int select = in.byte();
	int rate = (variant >= 3 && variant < 6) || variant == 7 ? 48000 : 8000;
	int channel = (select & 7) - 1;
	bool draw = select & 8;
	Demodulator demodulator = select & 16 ? Demodulator::enhanced : Demodulator::reference;
	int width = channel >= 1 && channel <= 4 ? 2 : 1;
	size_t longest = (rate == 8000 ? 4 * 8000 : 5 * 48000 / 2) * width;
	std::vector<short> samples(std::min(in.remaining() / 2, longest));
	in.bytes(samples.data(), samples.size() * 2);
	static const int mappings[] = {2, 4, 8};
	int mapping = variant == 6 || variant == 7 ? any_mapping : mappings[variant % 3];
	drive_receiver(rate, mapping, channel, samples.data(), samples.size() / width, draw, demodulator);
	return 0;
}
