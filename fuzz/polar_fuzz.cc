// Soft bits into the payload decoder at each of the three rates.
// Byte 0 modulo 3 picks the rate (frozen table); bit 2 picks the form.
// Clear: the next 2048 bytes are the soft bits as they are. Set: the code word
// of the next K/8 payload bytes at the magnitude of the byte after them (1 to
// 127), plus 2048 signed offsets from the rest.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fuzz/byte_reader.hh"
#include "code/assert.hh"
#include "code/polar_decoder.hh"
#include "code/polar_encoder.hh"
#include "code/polar_tables.hh"

namespace {

constexpr int N = 2048;

struct Rate
{
	const unsigned *frozen;
	int K;
};

constexpr Rate rates[] = {{frozen_2048_712, 680}, {frozen_2048_1056, 1024}, {frozen_2048_1392, 1360}};

bool frozen_at(const unsigned *frozen, int j) { return (frozen[j / 32] >> (j % 32)) & 1; }

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static CODE::PolarDecoder<signed char> decode;
	static CODE::PolarEncoder encode;
	ByteReader in(data, size);
	int head = in.byte();
	const Rate rate = rates[head % 3];
	signed char soft[N], word[N];
	unsigned char sent[170] = {};
	bool clean = false;
	if (head & 4) {
		in.bytes(sent, rate.K / 8);
		encode(word, sent, rate.frozen, rate.K);
		int magnitude = 1 + in.byte() % 127;
		int8_t offset[N];
		in.bytes(offset, sizeof offset);
		clean = std::all_of(offset, offset + N, [](int8_t d) { return d == 0; });
		for (int j = 0; j < N; ++j) soft[j] = std::clamp(word[j] * magnitude + offset[j], -128, 127);
	} else {
		in.bytes(soft, sizeof soft);
	}

	// One byte more than the payload: the decoder must not write past K bits.
	unsigned char message[171];
	std::memset(message, 0xA5, sizeof message);
	int flips = decode(message, soft, rate.frozen, rate.K);
	ASSERT(flips >= -1 && flips <= rate.K);
	for (int i = flips < 0 ? 0 : rate.K / 8; i < 171; ++i) ASSERT(message[i] == 0xA5);
	if (clean) ASSERT(flips == 0 && !std::memcmp(message, sent, rate.K / 8));
	if (flips < 0) return 0;
	// The message is a payload whose systematic code word carries it on the
	// information positions; flips counts where that differs from the soft bits.
	encode(word, message, rate.frozen, rate.K);
	int differ = 0;
	for (int j = 0, k = 0; j < N && k < rate.K; ++j) {
		if (frozen_at(rate.frozen, j)) continue;
		ASSERT((word[j] < 0) == bool(message[k / 8] >> (k % 8) & 1));
		differ += (word[j] < 0) != (soft[j] < 0);
		++k;
	}
	ASSERT(differ == flips);
	return 0;
}
