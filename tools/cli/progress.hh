#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <unistd.h>

#include "tools/cli/command_line.hh"

// One line on standard error for long work on a file: percent done, audio
// time done and speed in times real time, redrawn a few times a second and
// erased at the end. Only when standard error is a terminal and the size
// of the input is known.
class Progress
{
	using Clock = std::chrono::steady_clock;
	bool active = false, drawn = false;
	uint64_t total = 0;
	double rate = 1;
	Clock::time_point start_time, last;

public:
	~Progress() { clear(); }

	void start(uint64_t total_frames, int input_rate)
	{
		active = total_frames && isatty(2);
		total = total_frames, rate = input_rate;
		start_time = last = Clock::now();
	}

	void update(uint64_t frames)
	{
		if (!active) return;
		Clock::time_point now = Clock::now();
		if (now - last < std::chrono::milliseconds(200)) return;
		last = now;
		double seconds = frames / rate, elapsed = std::chrono::duration<double>(now - start_time).count();
		std::fprintf(stderr, "\r%s: %3.0f%%  %.1f s of audio  %.0fx real time\033[K", program_name,
			     100.0 * frames / total, seconds,
			     seconds / elapsed);
		drawn = true;
	}

	// Takes the line away, before an event line on the same terminal and
	// at the end.
	void clear()
	{
		if (drawn) std::fputs("\r\033[K", stderr);
		drawn = false;
	}
};
