#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli/command_line.hh"
#include "tools/io/audio_input.hh"
#include "tools/station/alsa_pcm.hh"
#include "tools/station/input_meter.hh"
#include "tools/station/spsc_ring.hh"

// The capture side: takes frames from a device or a file and puts them in
// the ring for the receiver thread. A device (and a file read in real
// time) never waits for the receiver: a block the ring has no room for is
// lost and counted. A file read as fast as it comes waits, and loses
// nothing. While the transmitter is on the
// air (and for a moment after, for the device's latency) the frames are
// replaced by silence, so that the receiver never hears its own burst.
class Capture
{
public:
	using Clock = std::chrono::steady_clock;

	// duration: seconds of input to take, at whatever rate the device gives
	// them; 0 for no end.
	Capture(SpscRing<short> &ring, InputMeter &meter, int rate, int width, double duration)
	    : ring(ring), meter(meter), rate(rate), width(width),
	      left(duration > 0 ? duration : std::numeric_limits<double>::infinity()), silence(rate / 50 * width)
	{
	}

	std::atomic<bool> stop{false};
	std::atomic<bool> ended{false};       // no more frames will come
	std::atomic<int> ring_rate{0};        // rate of the frames in the ring; 0 before the first
	std::atomic<Clock::rep> blank_until{0}; // silence until then (steady clock)
	std::atomic<bool> device_lost{false};

	// Frames from a capture device; a device that fails or is gone is
	// reported and opened again every few seconds.
	void run_device(const std::string &name)
	{
		AlsaPcm pcm;
		std::vector<short> block;
		bool reported = false;
		int told_rate = 0;
		while (!stop.load() && !done()) {
			if (!pcm.is_open()) {
				std::string why = pcm.open(name, true, rate, width);
				if (!why.empty()) {
					if (!reported) std::fprintf(stderr, "%s: capture: %s; trying again every 3 s\n", program_name, why.c_str());
					reported = true;
					device_lost.store(true);
					pause(std::chrono::seconds(3));
					continue;
				}
				if (reported) std::fprintf(stderr, "%s: capture: %s is back\n", program_name, name.c_str());
				reported = false;
				device_lost.store(false);
				if (pcm.rate() != rate && pcm.rate() != told_rate)
					std::fprintf(stderr, "%s: %s gives %d Hz: resampling to %d Hz\n", program_name, name.c_str(),
						     pcm.rate(), rate);
				told_rate = pcm.rate();
				given_rate = pcm.rate();
				ring_rate.store(given_rate);
				block.resize(std::max<size_t>(pcm.period(), 1) * width);
			}
			unsigned long overruns = 0;
			long got = pcm.read(block.data(), block.size() / width, overruns);
			meter.overruns.fetch_add(overruns);
			if (got < 0) {
				std::fprintf(stderr, "%s: capture: %s: %s; trying again every 3 s\n", program_name, name.c_str(),
					     snd_strerror(int(got)));
				reported = true;
				device_lost.store(true);
				pcm.close();
				pause(std::chrono::seconds(3));
				continue;
			}
			deliver(block.data(), size_t(got));
		}
		meter.publish();
		ended.store(true);
	}

	// Frames from a file or standard input, as fast as they come, or at
	// the receiver's rate when realtime (as a device would give them).
	void run_file(AudioInput &input, bool realtime)
	{
		given_rate = rate;
		ring_rate.store(rate);
		Clock::time_point start = Clock::now();
		size_t piece = rate / 50, frames;
		uint64_t given = 0;
		while (!stop.load() && !done()) {
			const short *samples = input.next(frames);
			if (!samples) break;
			for (size_t at = 0; at < frames && !stop.load(); at += piece) {
				size_t count = std::min(piece, frames - at);
				given += count;
				if (realtime) std::this_thread::sleep_until(start + std::chrono::nanoseconds(given * 1000000000 / rate));
				deliver(samples + at * width, count, !realtime);
			}
		}
		meter.publish();
		ended.store(true);
	}

private:
	SpscRing<short> &ring;
	InputMeter &meter;
	int rate, width, given_rate = 0;
	double left; // seconds
	std::vector<short> silence;

	// Frames of the present rate still to take.
	uint64_t frames_left() const
	{
		return std::isinf(left) ? UINT64_MAX : uint64_t(std::max(0.0, std::round(left * given_rate)));
	}
	bool done() const { return given_rate && !frames_left(); }

	void pause(Clock::duration length)
	{
		for (Clock::time_point end = Clock::now() + length; !stop.load() && Clock::now() < end;)
			std::this_thread::sleep_for(std::chrono::milliseconds(50));
	}

	void deliver(const short *samples, size_t frames, bool wait = false)
	{
		frames = std::min(frames_left(), uint64_t(frames));
		left -= double(frames) / given_rate;
		meter.add(samples, frames * width, frames);
		while (frames) {
			size_t count = std::min(frames, silence.size() / width);
			bool blank = Clock::now().time_since_epoch().count() < blank_until.load();
			const short *values = blank ? silence.data() : samples;
			bool pushed = ring.push(values, count * width);
			while (!pushed && wait && !stop.load()) {
				std::this_thread::sleep_for(std::chrono::milliseconds(1));
				pushed = ring.push(values, count * width);
			}
			if (!pushed) meter.dropped.fetch_add(count);
			samples += count * width, frames -= count;
		}
	}
};
