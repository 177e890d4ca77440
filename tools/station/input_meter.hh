#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>

// What the capture thread measures, readable from any thread: frames
// taken, frames lost, and the level and clipping of the last half second.
// The capture thread adds each block; every half second it publishes the
// window's figures.
class InputMeter
{
public:
	using Clock = std::chrono::steady_clock;

	std::atomic<uint64_t> frames{0};      // taken from the input
	std::atomic<uint64_t> overruns{0};    // times the device's buffer overflowed
	std::atomic<uint64_t> dropped{0};     // frames the receiver had no room for
	std::atomic<uint64_t> clipped{0};     // samples at full scale, in all
	std::atomic<float> level{-120};       // RMS of the last window, dBFS
	std::atomic<float> peak{-120};        // peak of the last window, dBFS
	std::atomic<bool> clipping{false};    // the last window held a sample at full scale

	// Called by the capture thread only.
	void add(const short *samples, size_t values, size_t frame_count)
	{
		for (size_t i = 0; i < values; ++i) {
			int x = samples[i];
			squares += double(x) * x;
			largest = std::max(largest, std::abs(x));
			window_clipped += x == 32767 || x == -32768;
		}
		window_values += values;
		frames.fetch_add(frame_count, std::memory_order_relaxed);
		if (Clock::now() - window_start >= std::chrono::milliseconds(500)) publish();
	}

	// Ends the window early: at the end of the input.
	void publish()
	{
		if (!window_values) return;
		level.store(decibels(std::sqrt(squares / std::max<size_t>(window_values, 1))));
		peak.store(decibels(largest));
		clipping.store(window_clipped > 0);
		clipped.fetch_add(window_clipped);
		squares = 0, largest = 0, window_clipped = 0, window_values = 0;
		window_start = Clock::now();
	}

private:
	// Digital silence reads as -120 dBFS, below any real input.
	static float decibels(double amplitude) { return std::max(-120.f, float(20 * std::log10(amplitude / 32768))); }

	double squares = 0;
	int largest = 0;
	size_t window_values = 0;
	uint64_t window_clipped = 0;
	Clock::time_point window_start = Clock::now();
};
