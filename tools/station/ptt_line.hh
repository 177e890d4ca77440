#pragma once

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

// What keys the transmitter. Each call returns an empty text when done,
// else why not; a line that failed is opened again by the next call.
class PttLine
{
public:
	virtual ~PttLine() = default;
	virtual std::string set(bool keyed) = 0;
	virtual std::string name() const = 0;
};

// No line: the radio keys itself on the audio (VOX).
class VoxLine final : public PttLine
{
public:
	std::string set(bool) override { return ""; }
	std::string name() const override { return "none (VOX)"; }
};

// The RTS or DTR line of a serial port, as the usual interfaces between a
// computer and a radio key it.
class SerialLine final : public PttLine
{
public:
	SerialLine(std::string device, bool dtr) : device(std::move(device)), bit(dtr ? TIOCM_DTR : TIOCM_RTS) {}
	~SerialLine() override
	{
		if (fd >= 0) set(false), ::close(fd);
	}

	std::string set(bool keyed) override
	{
		if (fd < 0 && (fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) < 0)
			return device + ": " + std::strerror(errno);
		if (ioctl(fd, keyed ? TIOCMBIS : TIOCMBIC, &bit) == 0) return "";
		std::string why = device + ": " + std::strerror(errno);
		::close(fd);
		fd = -1;
		return why;
	}

	std::string name() const override { return device + (bit == TIOCM_DTR ? " DTR" : " RTS"); }

private:
	std::string device;
	int bit, fd = -1;
};
