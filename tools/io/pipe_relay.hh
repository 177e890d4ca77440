#pragma once

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "tools/cli/command_line.hh"

// A pipe that hands over first and then everything that follows on fd:
// for a reader that must see from the start a stream whose first bytes were
// already taken, such as libsndfile reading a WAV stream from a pipe. A
// thread copies; a read error on fd ends the copy and is kept for error().
class PipeRelay
{
	int read_end;
	std::shared_ptr<std::atomic<int>> failure = std::make_shared<std::atomic<int>>(0);

public:
	PipeRelay(int fd, const std::string &first)
	{
		int ends[2];
		if (pipe(ends)) fail(system_error("pipe"));
		read_end = ends[0];
		// Detached: a program that stops reading must be able to end while
		// the copy still waits for input.
		std::thread([fd, first, out = ends[1], failure = failure] {
			auto put = [out](const char *bytes, size_t size) {
				while (size) {
					ssize_t put = write(out, bytes, size);
					if (put < 0 && errno == EINTR) continue;
					if (put < 0) return false;
					bytes += put, size -= put;
				}
				return true;
			};
			char buffer[65536];
			for (bool more = put(first.data(), first.size()); more;) {
				ssize_t got = read(fd, buffer, sizeof buffer);
				if (got < 0 && errno == EINTR) continue;
				if (got < 0) *failure = errno;
				more = got > 0 && put(buffer, got);
			}
			close(out);
		}).detach();
	}

	int fd() const { return read_end; }
	// errno of a failed read from the original descriptor, or 0.
	int error() const { return *failure; }
};
