#pragma once

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/cli/command_line.hh"
#include "tools/station/send_queue.hh"
#include "tools/station/transmission_check.hh"

// --send-fifo PATH: a named pipe (made when missing) whose lines "CALL MODE
// PAYLOAD" are queued for sending. The station holds it open for writing
// too, so that a writer that closes it is no end: the next one is read.
// A line that is refused is reported on standard error and dropped.
class SendFifo
{
public:
	SendFifo(const std::string &path, SendQueue &queue) : path(path), queue(queue)
	{
		if (mkfifo(path.c_str(), 0600) < 0 && errno != EEXIST) fail(system_error(path));
		struct stat st;
		if (stat(path.c_str(), &st) < 0 || !S_ISFIFO(st.st_mode)) fail(path + ": not a named pipe");
		if ((fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0) fail(system_error(path));
	}
	~SendFifo() { close(fd); }
	SendFifo(const SendFifo &) = delete;
	SendFifo &operator=(const SendFifo &) = delete;

	std::atomic<bool> stop{false};

	void run()
	{
		std::string line;
		char buffer[4096];
		while (!stop.load()) {
			pollfd p{fd, POLLIN, 0};
			if (poll(&p, 1, 100) <= 0) continue;
			ssize_t got = read(fd, buffer, sizeof buffer);
			for (ssize_t i = 0; i < got; ++i) {
				if (buffer[i] != '\n') {
					// A line longer than any valid one is cut, and then refused.
					if (line.size() < 1024) line += buffer[i];
					continue;
				}
				take(line);
				line.clear();
			}
		}
	}

private:
	std::string path;
	SendQueue &queue;
	int fd;

	void take(const std::string &line)
	{
		if (line.find_first_not_of(" \t\r") == std::string::npos) return;
		Transmission t;
		t.source = "fifo";
		std::string why = parse_send_line(line, t);
		if (why.empty() && !queue.push(t)) why = "the send queue is full";
		if (!why.empty()) std::fprintf(stderr, "%s: %s: %s\n", program_name, path.c_str(), why.c_str());
	}
};
