#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/cli/command_line.hh"

// Hands out whole blocks of a fixed number of values from a descriptor,
// however the bytes arrive. Each read asks for as much as the buffer can
// take, so a file is read in large pieces rather than with one system call
// per block, while a pipe still hands over each block as soon as its last
// byte is there. A read interrupted by a signal is retried; any other read
// error ends the program with a message naming the input and status 1.
template <typename T>
class BlockReader
{
	int fd;
	std::string name;
	size_t size; // bytes per block
	std::vector<T> buffer;
	size_t begin = 0, end = 0; // bytes handed out, bytes read

public:
	// first: bytes already taken from the descriptor, which come first.
	BlockReader(int fd, const std::string &name, size_t block_values, const std::string &first = "",
		    size_t blocks_per_read = 64)
	    : fd(fd), name(name), size(block_values * sizeof(T)),
	      buffer(std::max(block_values * blocks_per_read, (first.size() + sizeof(T) - 1) / sizeof(T)))
	{
		std::memcpy(buffer.data(), first.data(), first.size());
		end = first.size();
	}

	// The next block, or nullptr when the input ends first (a partial
	// block is dropped). Valid until the next call.
	const T *next()
	{
		char *bytes = reinterpret_cast<char *>(buffer.data());
		while (end - begin < size) {
			if (begin) {
				std::memmove(bytes, bytes + begin, end - begin);
				end -= begin;
				begin = 0;
			}
			ssize_t got = read(fd, bytes + end, buffer.size() * sizeof(T) - end);
			if (got > 0) {
				end += got;
			} else if (got == 0) {
				return nullptr;
			} else if (errno != EINTR) {
				fail(system_error(name));
			}
		}
		const T *block = buffer.data() + begin / sizeof(T);
		begin += size;
		return block;
	}
};
