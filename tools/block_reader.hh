#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>

// Fills the whole buffer from the descriptor, however the bytes arrive;
// false when the input ends first (a partial block is dropped). A read
// interrupted by a signal is retried; any other read error is reported and
// ends the program with status 1.
inline bool read_block(int fd, char *buffer, size_t size)
{
	for (size_t have = 0; have < size;) {
		ssize_t got = read(fd, buffer + have, size - have);
		if (got > 0) {
			have += got;
		} else if (got == 0) {
			return false;
		} else if (errno != EINTR) {
			std::cerr << "Read error: " << std::strerror(errno) << std::endl;
			std::exit(1);
		}
	}
	return true;
}
