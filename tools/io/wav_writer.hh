#pragma once

#include <algorithm>
#include <cstdint>
#include <sndfile.h>
#include <string>
#include <vector>

#include "tools/cli/command_line.hh"
#include "tools/io/standard_output.hh"

// A WAV stream of 16-bit PCM on standard output, written by libsndfile, on
// a pipe as well. libsndfile writes a header when it opens a file and
// rewrites it with the lengths when it closes, which a pipe cannot take.
// The number of frames is known before the first one, so a dry run of the
// same length, whose samples go nowhere, gives the final header first; the
// real stream's own header, rewritten at its end, must then come out the
// same.
class WavWriter
{
	// What libsndfile sees as its file: the header (everything before the
	// first sample) is kept, samples are sent or dropped.
	struct Sink
	{
		bool send = false;
		std::string header;
		sf_count_t header_size = -1; // known once the file is open
		sf_count_t position = 0, length = 0;
	};

	static Sink &of(void *user) { return *static_cast<Sink *>(user); }
	static sf_count_t length(void *user) { return of(user).length; }
	static sf_count_t tell(void *user) { return of(user).position; }
	static sf_count_t read(void *, sf_count_t, void *) { return 0; }
	static sf_count_t seek(sf_count_t offset, int whence, void *user)
	{
		Sink &s = of(user);
		return s.position = offset + (whence == SEEK_CUR ? s.position : whence == SEEK_END ? s.length : 0);
	}
	static sf_count_t write(const void *data, sf_count_t size, void *user)
	{
		Sink &s = of(user);
		const char *bytes = static_cast<const char *>(data);
		if (s.header_size < 0 || s.position < s.header_size) {
			if (s.header_size >= 0 && s.position + size > s.header_size) fail("WAV: the header grew");
			s.header.resize(std::max(s.header.size(), size_t(s.position + size)));
			s.header.replace(s.position, size, bytes, size);
		} else if (s.send) {
			if (s.position != s.length) fail("WAV: a sample was rewritten");
			write_output(bytes, size);
		}
		s.position += size;
		s.length = std::max(s.length, s.position);
		return size;
	}

	static SNDFILE *open(Sink &sink, int rate, int channels)
	{
		static SF_VIRTUAL_IO io = {length, seek, read, write, tell};
		SF_INFO info{};
		info.samplerate = rate;
		info.channels = channels;
		info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
		SNDFILE *file = sf_open_virtual(&io, SFM_WRITE, &info, &sink);
		if (!file) fail(std::string("WAV: ") + sf_strerror(nullptr));
		sink.header_size = sink.position;
		return file;
	}

	static void put(SNDFILE *file, const short *samples, size_t frames)
	{
		if (frames && sf_writef_short(file, samples, frames) != sf_count_t(frames))
			fail(std::string("WAV: ") + sf_strerror(file));
	}

	static void close(SNDFILE *file)
	{
		if (sf_close(file)) fail(std::string("WAV: ") + sf_strerror(nullptr));
	}

	Sink dry, real;
	SNDFILE *file;

public:
	WavWriter(int rate, int channels, uint64_t frames)
	{
		real.send = true;
		SNDFILE *trial = open(dry, rate, channels);
		std::vector<short> silence(4096 * channels);
		for (uint64_t done = 0; done < frames; done += 4096)
			put(trial, silence.data(), std::min<uint64_t>(4096, frames - done));
		close(trial);
		file = open(real, rate, channels);
		if (real.header_size != sf_count_t(dry.header.size())) fail("WAV: headers of different sizes");
		write_output(dry.header.data(), dry.header.size());
	}

	void put(const short *samples, size_t frames) { put(file, samples, frames); }

	// Ends the stream; the frames put must add up to those announced.
	void close()
	{
		close(file);
		if (real.header != dry.header) fail("WAV: the stream is not as long as its header says");
	}
};
