#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// Payload of burst INDEX of a run: the index in its first two bytes, then
// bytes drawn from the seed and the index (splitmix64), so that a receiver
// knows what was sent without a side channel.
inline std::vector<unsigned char> burst_payload(uint64_t seed, unsigned index, size_t length)
{
	std::vector<unsigned char> bytes(length);
	uint64_t state = seed * 0x9e3779b97f4a7c15u + (uint64_t(index) << 32);
	for (size_t i = 0; i < length; ++i) {
		uint64_t z = state += 0x9e3779b97f4a7c15u;
		z = (z ^ z >> 30) * 0xbf58476d1ce4e5b9u;
		z = (z ^ z >> 27) * 0x94d049bb133111ebu;
		bytes[i] = i == 0 ? index >> 8 : i == 1 ? index & 255 : (z ^ z >> 31) >> 56;
	}
	return bytes;
}

// One line per payload that passed its check: FRAME INDEX END_SAMPLE
// COMPUTE_US when its bytes are those of burst INDEX of the run, WRONG
// END_SAMPLE when they are not. END_SAMPLE is the input position at which
// the receiver gave the frame out, COMPUTE_US the CPU time it took from the
// moment the chunk holding that position came in.
inline void report_frame(const unsigned char *bytes, size_t length, uint64_t seed, unsigned bursts, uint64_t end,
                         double compute_seconds)
{
	unsigned index = length >= 2 ? bytes[0] << 8 | bytes[1] : bursts;
	bool same = false;
	if (index < bursts) {
		std::vector<unsigned char> sent = burst_payload(seed, index, length);
		same = std::equal(sent.begin(), sent.end(), bytes);
	}
	if (same)
		std::printf("FRAME %u %llu %.1f\n", index, (unsigned long long)end, compute_seconds * 1e6);
	else
		std::printf("WRONG %llu\n", (unsigned long long)end);
}
