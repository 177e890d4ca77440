#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/station/ptt_line.hh"

// The transmitter's key, shared by the transmitter thread, the watchdog and
// the ways out of the program. It counts as keyed from the moment it is
// asked to key until a release went through: a release that failed (the
// rig stopped answering) is tried again by settle().
class PttSwitch
{
public:
	using Clock = std::chrono::steady_clock;

	// Counts as keyed until the first release: the line's state is not
	// known before one went through.
	explicit PttSwitch(std::unique_ptr<PttLine> line) : line(std::move(line)) {}
	~PttSwitch() { release(); }

	std::string key()
	{
		std::lock_guard lock(mutex);
		asked.store(true);
		since.store(Clock::now().time_since_epoch().count());
		live.store(true);
		std::string why = line->set(true);
		// A line that did not key may still have: leave it to release().
		return why;
	}

	// Waits at most a few seconds for a call in progress, so that a way
	// out of the program is never stuck behind a rig that hangs.
	std::string release()
	{
		asked.store(false);
		std::unique_lock lock(mutex, std::defer_lock);
		for (int tries = 0; !lock.try_lock(); ++tries) {
			if (tries == 300) return line_name + ": busy";
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		}
		if (!live.load()) return "";
		std::string why = line->set(false);
		if (why.empty()) live.store(false);
		return why;
	}

	// Tries again a release that failed; empty when nothing is keyed.
	std::string settle() { return keyed() && !wanted() ? release() : ""; }

	bool wanted() const { return asked.load(); }
	bool keyed() const { return live.load(); }
	Clock::duration keyed_for() const
	{
		return keyed() ? Clock::now().time_since_epoch() - Clock::duration(since.load()) : Clock::duration(0);
	}

	std::string name() const { return line_name; }

private:
	std::unique_ptr<PttLine> line;
	std::string line_name = line->name();
	std::mutex mutex;
	std::atomic<bool> live{true}, asked{false};
	std::atomic<Clock::rep> since{0};
};
