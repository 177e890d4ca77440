#pragma once

#include <cstdio>
#include <string>

#include "stream/event_line.hh"
#include "stream/stream_receiver.hh"
#include "tools/io/event_json.hh"
#include "tools/cli/progress.hh"
#include "tools/io/standard_output.hh"
#include "tools/io/timestamps.hh"

// Writes each event as soon as it comes, as an event line (with a time in
// front when asked) or as a JSON object, one per line, and flushes it for
// the reader at the other end of the pipe.
class EventPrinter final : public StreamListener
{
	bool json;
	Timestamps timestamps;
	int rate;
	Progress &progress;

public:
	EventPrinter(bool json, Timestamps timestamps, int rate, Progress &progress)
	    : json(json), timestamps(timestamps), rate(rate), progress(progress)
	{
	}

	void event(const Event &event) override
	{
		double seconds = double(event.frame) / rate;
		std::string wall = timestamps == Timestamps::WALL ? wall_clock() : "";
		std::string text;
		if (json) {
			text = event_json(event, seconds, wall);
		} else {
			char line[event_line_capacity];
			size_t length = event_line(event, line, sizeof line);
			if (timestamps == Timestamps::POSITION) {
				char time[32];
				std::snprintf(time, sizeof time, "%.3f ", seconds);
				text = time;
			} else if (!wall.empty()) {
				text = wall + " ";
			}
			text.append(line, length);
		}
		text += '\n';
		progress.clear();
		write_output(text.data(), text.size());
		flush_output();
	}
};
