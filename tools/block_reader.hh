#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>
#include <vector>

// Hands out whole blocks of a fixed number of values from a descriptor,
// however the bytes arrive. Each read asks for as much as the buffer can
// take, so a file is read in large pieces rather than with one system call
// per block, while a pipe still hands over each block as soon as its last
// byte is there. A read interrupted by a signal is retried; any other read
// error is reported and ends the program with status 1.
template <typename T>
class BlockReader
{
	int fd;
	size_t size; // bytes per block
	std::vector<T> buffer;
	size_t begin = 0, end = 0; // bytes handed out, bytes read

public:
	BlockReader(int fd, size_t block_values, size_t blocks_per_read = 64)
	    : fd(fd), size(block_values * sizeof(T)), buffer(block_values * blocks_per_read)
	{
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
				std::cerr << "Read error: " << std::strerror(errno) << std::endl;
				std::exit(1);
			}
		}
		const T *block = buffer.data() + begin / sizeof(T);
		begin += size;
		return block;
	}
};
