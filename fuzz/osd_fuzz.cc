// Soft bits into the metadata decoder: the ordered statistics decoder of the
// BCH(255, 71) code with the receiver's systematic generator matrix.
// Byte 0, bit 0 clear: the next 255 bytes are the soft bits as they are.
// Bit 0 set: a code word of the next 9 message bytes at the magnitude of the
// byte after them (1 to 127), plus 255 signed offsets from the rest.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fuzz/byte_reader.hh"
#include "code/assert.hh"
#include "code/bch_encoder.hh"
#include "code/bch_generator.hh"
#include "code/bch_polynomials.hh"
#include "code/osd.hh"

namespace {

constexpr int N = 255, K = 71;

const int8_t *generator()
{
	static int8_t genmat[K * N];
	CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, CODE::bch_255_71_minimal_polynomials);
	return genmat;
}

bool same_bits(const uint8_t *a, const uint8_t *b)
{
	for (int k = 0; k < N; ++k)
		if (CODE::get_be_bit(a, k) != CODE::get_be_bit(b, k)) return false;
	return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static const int8_t *genmat = generator();
	static CODE::OrderedStatisticsDecoder<N, K, 2> osd;
	ByteReader in(data, size);
	int8_t soft[N];
	uint8_t sent[32] = {};
	bool clean = false;
	if (in.byte() & 1) {
		uint8_t message[9];
		in.bytes(message, sizeof message);
		CODE::bch_encode(sent, message, genmat);
		int magnitude = 1 + in.byte() % 127;
		int8_t offset[N];
		in.bytes(offset, sizeof offset);
		clean = std::all_of(offset, offset + N, [](int8_t d) { return d == 0; });
		for (int k = 0; k < N; ++k)
			soft[k] = std::clamp((CODE::get_be_bit(sent, k) ? -magnitude : magnitude) + offset[k], -128, 127);
	} else {
		in.bytes(soft, sizeof soft);
	}

	uint8_t hard[32];
	std::memset(hard, 0xA5, sizeof hard);
	bool unique = osd(hard, soft, genmat);
	// Bit 255 is not part of the word and keeps its value.
	ASSERT(hard[31] & 1);
	// Whatever the soft bits, the result is a code word: its message part re-encodes to it.
	uint8_t word[32] = {};
	CODE::bch_encode(word, hard, genmat);
	ASSERT(same_bits(word, hard));
	if (clean) ASSERT(unique && same_bits(hard, sent));
	return 0;
}
