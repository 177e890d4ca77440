#pragma once

#include <soxr.h>
#include <string>
#include <vector>

#include "tools/cli/command_line.hh"

// Sample-rate conversion of interleaved floats with libsoxr's high-quality
// preset (a linear-phase filter whose delay libsoxr takes out: output
// frame n belongs at the time of input frame n·in_rate/out_rate).
class RateConverter
{
	soxr_t soxr;
	int channels;
	double ratio;
	std::vector<float> out;

public:
	RateConverter(double in_rate, double out_rate, int channels) : channels(channels), ratio(out_rate / in_rate)
	{
		soxr_error_t error = nullptr;
		soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
		soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
		soxr = soxr_create(in_rate, out_rate, channels, &error, &io, &quality, nullptr);
		if (error) fail(std::string("resampler: ") + error);
	}
	~RateConverter() { soxr_delete(soxr); }
	RateConverter(const RateConverter &) = delete;
	RateConverter &operator=(const RateConverter &) = delete;

	// The output that count more input frames complete; in null ends the
	// input and returns the rest. Valid until the next call.
	const std::vector<float> &convert(const float *in, size_t count)
	{
		out.clear();
		size_t room = size_t(count * ratio) + 1024;
		for (;;) {
			size_t used = 0, made = 0, old = out.size();
			out.resize(old + room * channels);
			soxr_error_t error = soxr_process(soxr, in, count, &used, out.data() + old, room, &made);
			if (error) fail(std::string("resampler: ") + error);
			out.resize(old + made * channels);
			if (in) {
				in += used * channels, count -= used;
				if (!count) return out;
			} else if (!made) {
				return out;
			}
		}
	}
};
