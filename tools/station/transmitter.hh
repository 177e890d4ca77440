#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/io/audio_input.hh"
#include "tools/io/rate_converter.hh"
#include "tools/station/alsa_pcm.hh"
#include "tools/station/audio_out.hh"
#include "tools/station/burst_audio.hh"
#include "tools/station/capture.hh"
#include "tools/station/ptt_switch.hh"
#include "tools/station/send_queue.hh"

struct TransmitterSettings
{
	BurstSettings burst;
	std::string device;              // playback device; empty for none
	std::chrono::milliseconds delay{300}, tail{100};
};

// Sends what is queued, one at a time: opens the playback device, keys,
// waits the lead-in, plays, waits until the card has played the last
// frame, waits the tail, releases. Whatever goes wrong (a stop, the
// watchdog, an audio error) releases the key at once.
class Transmitter
{
public:
	using Clock = std::chrono::steady_clock;

	Transmitter(SendQueue &queue, PttSwitch &ptt, Capture &capture, AudioOut *out, TransmitterSettings set)
	    : queue(queue), ptt(ptt), capture(capture), out(out), set(std::move(set))
	{
	}

	std::atomic<bool> stop{false};      // leave now
	std::atomic<bool> finishing{false}; // leave once the queue is empty
	std::atomic<bool> abort{false};     // the watchdog ended this transmission
	std::atomic<unsigned long> underruns{0}, sent{0};

	void run()
	{
		Transmission t;
		while (!stop.load()) {
			if (queue.pop(t, std::chrono::milliseconds(100))) send(t);
			else if (finishing.load() && !queue.size()) return;
		}
	}

private:
	SendQueue &queue;
	PttSwitch &ptt;
	Capture &capture;
	AudioOut *out;
	TransmitterSettings set;
	int told_rate = 0;

	bool interrupted() const { return stop.load() || abort.load(); }

	// False when interrupted first.
	bool wait(Clock::duration length)
	{
		for (Clock::time_point end = Clock::now() + length; Clock::now() < end;) {
			if (interrupted()) return false;
			std::this_thread::sleep_for(std::min<Clock::duration>(end - Clock::now(), std::chrono::milliseconds(5)));
		}
		return !interrupted();
	}

	static void report(const std::string &what) { std::fprintf(stderr, "%s: %s\n", program_name, what.c_str()); }

	// The playback device, open; false when stopped first.
	bool open_device(AlsaPcm &pcm)
	{
		bool reported = false;
		while (!stop.load()) {
			std::string why = pcm.open(set.device, false, set.burst.rate, 1);
			if (why.empty()) return true;
			if (!reported) report("playback: " + why + "; trying again every 3 s");
			reported = true;
			wait(std::chrono::seconds(3));
		}
		return false;
	}

	std::vector<short> at_rate(const std::vector<short> &samples, int rate)
	{
		if (rate == set.burst.rate) return samples;
		if (rate != told_rate)
			report(set.device + " plays " + std::to_string(rate) + " Hz: resampling from " +
			       std::to_string(set.burst.rate) + " Hz");
		told_rate = rate;
		RateConverter converter(set.burst.rate, rate, 1);
		std::vector<float> in(samples.begin(), samples.end());
		for (float &x : in) x /= 32768;
		std::vector<float> converted = converter.convert(in.data(), in.size());
		const std::vector<float> &rest = converter.convert(nullptr, 0);
		converted.insert(converted.end(), rest.begin(), rest.end());
		std::vector<short> played(converted.size());
		for (size_t i = 0; i < played.size(); ++i) played[i] = pcm16(converted[i]);
		return played;
	}

	void send(const Transmission &t)
	{
		std::vector<short> samples = burst_audio(t, set.burst);
		AlsaPcm pcm;
		std::vector<short> played;
		// Opened before keying: the transmitter is never keyed without its audio.
		if (!set.device.empty()) {
			if (!open_device(pcm)) return;
			played = at_rate(samples, pcm.rate());
		}
		abort.store(false);
		capture.blank_until.store(Clock::time_point::max().time_since_epoch().count());
		for (std::string why; !(why = ptt.key()).empty();) {
			report("PTT: " + why + "; trying again in 3 s");
			ptt.release();
			if (!wait(std::chrono::seconds(3))) return end_of_air();
		}
		if (!wait(set.delay)) return end_of_air();
		if (out) {
			std::vector<short> lead(set.burst.rate * set.delay.count() / 1000), tail(set.burst.rate * set.tail.count() / 1000);
			std::string why = out->put(lead.data(), lead.size());
			if (why.empty()) why = out->put(samples.data(), samples.size());
			if (why.empty()) why = out->put(tail.data(), tail.size());
			out->sync();
			if (!why.empty()) return report("audio out: " + why), end_of_air();
		}
		if (pcm.is_open()) {
			size_t chunk = std::max<size_t>(pcm.period(), 64);
			for (size_t at = 0; at < played.size(); at += chunk) {
				if (interrupted()) return end_of_air();
				unsigned long lost = 0;
				long err = pcm.write(played.data() + at, std::min(chunk, played.size() - at), lost);
				underruns.fetch_add(lost);
				if (err < 0) return report("playback: " + set.device + ": " + snd_strerror(int(err))), end_of_air();
			}
			if (long err = pcm.drain(abort); err < 0)
				return report("playback: " + set.device + ": " + snd_strerror(int(err))), end_of_air();
		}
		if (!wait(set.tail)) return end_of_air();
		sent.fetch_add(1);
		end_of_air();
	}

	void end_of_air()
	{
		if (std::string why = ptt.release(); !why.empty()) report("PTT: " + why + "; trying again");
		// The capture device hands over its frames a little late.
		capture.blank_until.store((Clock::now() + std::chrono::milliseconds(300)).time_since_epoch().count());
	}
};
