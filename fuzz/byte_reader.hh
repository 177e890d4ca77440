#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads a fuzzer's input front to back; past the end every value is zero, so
// that a short input is a valid input with trailing zeros.
class ByteReader
{
public:
	ByteReader(const uint8_t *data, size_t size) : data(data), size(size) {}

	uint8_t byte() { return pos < size ? data[pos++] : 0; }

	// Big-endian, bytes bytes (at most 8).
	uint64_t number(int bytes)
	{
		uint64_t value = 0;
		for (int i = 0; i < bytes; ++i) value = value << 8 | byte();
		return value;
	}

	// Copies count bytes to out, zeros past the end of the input.
	void bytes(void *out, size_t count)
	{
		if (!count) return;
		size_t have = pos < size ? std::min(count, size - pos) : 0;
		std::memcpy(out, data + pos, have);
		std::memset(static_cast<uint8_t *>(out) + have, 0, count - have);
		pos += have;
	}

	size_t remaining() const { return pos < size ? size - pos : 0; }

private:
	const uint8_t *data;
	size_t size, pos = 0;
};
