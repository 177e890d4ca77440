#pragma once

#include <cstdint>
#include <sndfile.h>
#include <string>
#include <unistd.h>

#include "tools/cli/command_line.hh"

// An audio file read through libsndfile as interleaved floats, full scale
// being ±1 whatever the file holds (16-bit samples come out as s/32768
// exactly). Errors end the program with a message naming the file.
class SoundFile
{
	SNDFILE *file = nullptr;
	SF_INFO info{};
	std::string name;

public:
	// Reads from fd, which stays open. With raw_if_unknown, a format that
	// libsndfile does not know leaves the file unopened (recognised()
	// false) for the caller to read as raw samples. libsndfile gets a
	// duplicate, as it closes the descriptor of a file it cannot open.
	SoundFile(int fd, const std::string &name, bool raw_if_unknown) : name(name)
	{
		int own = dup(fd);
		if (own < 0) fail(system_error(name));
		file = sf_open_fd(own, SFM_READ, &info, SF_TRUE);
		if (!file && !(raw_if_unknown && sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT))
			fail(name + ": " + sf_strerror(nullptr));
	}
	~SoundFile()
	{
		if (file) sf_close(file);
	}
	SoundFile(const SoundFile &) = delete;
	SoundFile &operator=(const SoundFile &) = delete;

	bool recognised() const { return file; }
	int rate() const { return info.samplerate; }
	int channels() const { return info.channels; }
	uint64_t frames() const { return info.frames; }

	// Up to count frames; 0 at the end of the file.
	size_t read(float *out, size_t count)
	{
		sf_count_t got = sf_readf_float(file, out, count);
		if (got <= 0 && sf_error(file)) fail(name + ": " + sf_strerror(file));
		return got > 0 ? size_t(got) : 0;
	}
};
