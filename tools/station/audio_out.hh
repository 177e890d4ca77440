#pragma once

#include <sndfile.h>
#include <string>

#include "tools/cli/command_line.hh"

// --audio-out FILE: a WAV file of what the station plays. Its header is
// brought up to date after every burst, so that the file is whole while
// the station runs on.
class AudioOut
{
public:
	AudioOut(const std::string &path, int rate) : path(path)
	{
		SF_INFO info{};
		info.samplerate = rate;
		info.channels = 1;
		info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
		if (!(file = sf_open(path.c_str(), SFM_WRITE, &info))) fail(path + ": " + sf_strerror(nullptr));
	}
	~AudioOut() { sf_close(file); }
	AudioOut(const AudioOut &) = delete;
	AudioOut &operator=(const AudioOut &) = delete;

	// Empty, or why the frames could not be written.
	std::string put(const short *samples, size_t frames)
	{
		if (sf_writef_short(file, samples, sf_count_t(frames)) != sf_count_t(frames))
			return path + ": " + sf_strerror(file);
		return "";
	}

	void sync()
	{
		sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
		sf_write_sync(file);
	}

private:
	std::string path;
	SNDFILE *file;
};
