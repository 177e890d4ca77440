#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tools/io/block_reader.hh"
#include "tools/cli/command_line.hh"
#include "tools/io/pipe_relay.hh"
#include "tools/io/rate_converter.hh"
#include "tools/io/sound_file.hh"

// Where the samples come from.
struct InputOptions
{
	const char *path = nullptr; // -i FILE; standard input when null
	long rate = 0;              // --input-rate of raw input; 0 for the receiver's rate
};

constexpr long lowest_input_rate = 8000, highest_input_rate = 192000;

// A RIFF/WAVE header begins with "RIFF", four bytes of length, "WAVE".
inline bool starts_wav(const std::string &bytes)
{
	return bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WAVE") == 0;
}

// A sample of full scale ±1 as 16 bits, rounded, clipped; 16-bit input
// comes back exactly.
inline short pcm16(float x)
{
	float v = std::nearbyint(x * 32768.f);
	if (std::isnan(v)) return 0;
	return short(std::clamp(v, -32768.f, 32767.f));
}

// The input of a receiver of rate Hz and a channel selection, as frames of
// 16-bit samples at that rate. Standard input is raw PCM unless it starts
// with a RIFF/WAVE header, on a pipe too; a file named with -i goes through
// libsndfile, which reads WAV, FLAC, AIFF and the rest of its formats, and
// is raw PCM when libsndfile does not know it. Raw PCM at the receiver's
// rate is handed over untouched, block by block; any other rate from 8000
// to 192000 Hz is resampled. An input that does not fit the rate range or
// the channel selection ends the program with a message and status 1.
class AudioInput
{
public:
	AudioInput(const InputOptions &options, int rate, int channel)
	    : label(options.path ? options.path : "standard input"), width(channel >= 1 && channel <= 4 ? 2 : 1)
	{
		if (options.path && (fd = open(options.path, O_RDONLY | O_CLOEXEC)) < 0) fail(system_error(label));
		struct stat st;
		bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
		off_t start = lseek(fd, 0, SEEK_CUR);
		std::string first;
		if (options.path && start == 0) {
			sound = std::make_unique<SoundFile>(fd, label, true);
			if (!sound->recognised()) sound.reset(), lseek(fd, 0, SEEK_SET);
		} else {
			first = read_start(12);
			if (starts_wav(first)) {
				if (start == 0 && lseek(fd, 0, SEEK_SET) == 0) {
					sound = std::make_unique<SoundFile>(fd, label, false);
				} else {
					relay = std::make_unique<PipeRelay>(fd, first);
					sound = std::make_unique<SoundFile>(relay->fd(), label, false);
				}
			}
		}
		if (sound) {
			source_rate = sound->rate();
			check_channels(sound->channels(), channel);
			if (options.rate && options.rate != source_rate)
				fail(label + ": its header says " + std::to_string(source_rate) +
				     " Hz; --input-rate is for raw input");
			total = regular ? sound->frames() : 0;
			chunk = source_rate / 50 * (regular ? 64 : 1);
		} else {
			source_rate = options.rate ? options.rate : rate;
			total = regular ? uint64_t(st.st_size - std::max<off_t>(start, 0)) / (2 * width) : 0;
			chunk = source_rate / 50;
			raw = std::make_unique<BlockReader<short>>(fd, label, chunk * width, first);
		}
		if (source_rate < lowest_input_rate || source_rate > highest_input_rate)
			fail(label + ": sample rate " + std::to_string(source_rate) + " Hz is outside " +
			     std::to_string(lowest_input_rate) + " to " + std::to_string(highest_input_rate) + " Hz");
		if (source_rate != rate) {
			std::fprintf(stderr, "%s: %s: resampling %d Hz to %d Hz\n", program_name, label.c_str(), source_rate,
				     rate);
			converter = std::make_unique<RateConverter>(source_rate, rate, width);
		}
	}

	const std::string &name() const { return label; }
	int input_rate() const { return source_rate; }
	// Input frames taken so far, and in all (0 when the size is not known).
	uint64_t frames_read() const { return taken; }
	uint64_t frames_total() const { return total; }

	// The next frames at the receiver's rate, or nullptr at the end of the
	// input. Valid until the next call.
	const short *next(size_t &frames)
	{
		if (!sound && !converter) {
			const short *block = raw->next();
			taken += block ? chunk : 0;
			frames = chunk;
			return block;
		}
		while (!ended) {
			size_t got = read_floats();
			taken += got;
			const float *data = floats.data();
			size_t count = got;
			if (converter) {
				const std::vector<float> &out = converter->convert(got ? data : nullptr, got);
				data = out.data(), count = out.size() / width;
			}
			ended = !got;
			if (!count) continue;
			samples.resize(count * width);
			for (size_t i = 0; i < samples.size(); ++i) samples[i] = pcm16(data[i]);
			frames = count;
			return samples.data();
		}
		return nullptr;
	}

private:
	std::string label;
	int fd = 0, width, source_rate;
	size_t chunk; // input frames per read
	uint64_t taken = 0, total = 0;
	bool ended = false;
	std::unique_ptr<PipeRelay> relay;
	std::unique_ptr<SoundFile> sound;
	std::unique_ptr<BlockReader<short>> raw;
	std::unique_ptr<RateConverter> converter;
	std::vector<float> floats;
	std::vector<short> samples;

	std::string read_start(size_t size)
	{
		std::string bytes(size, '\0');
		size_t got = 0;
		while (got < size) {
			ssize_t n = read(fd, bytes.data() + got, size - got);
			if (n < 0 && errno == EINTR) continue;
			if (n < 0) fail(system_error(label));
			if (n == 0) break;
			got += n;
		}
		bytes.resize(got);
		return bytes;
	}

	void check_channels(int channels, int channel)
	{
		std::string selection = std::to_string(channel);
		if (channels == width) return;
		if (channels == 1)
			fail(label + ": mono input does not fit channel selection " + selection +
			     ", which reads two channels: use 0");
		if (channels == 2)
			fail(label + ": stereo input does not fit channel selection " + selection +
			     " (mono): use 1 (left), 2 (right), 3 (both averaged) or 4 (in-phase/quadrature)");
		fail(label + ": " + std::to_string(channels) +
		     " channels; only mono (channel selection 0) or stereo (1 to 4) can be read");
	}

	// Up to chunk frames of the input as floats; 0 at its end.
	size_t read_floats()
	{
		floats.resize(chunk * width);
		if (sound) {
			size_t got = sound->read(floats.data(), chunk);
			if (!got && relay && relay->error()) {
				errno = relay->error();
				fail(system_error(label));
			}
			return got;
		}
		const short *block = raw->next();
		if (!block) return 0;
		for (size_t i = 0; i < floats.size(); ++i) floats[i] = block[i] / 32768.f;
		return chunk;
	}
};
