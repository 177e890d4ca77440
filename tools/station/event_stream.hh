#pragma once

#include <string>

#include "tools/station/bus.hh"

// One event as server-sent events frame it: the name, every line of the
// data behind its own "data:" (a line break in the data would otherwise
// end the event early), and a blank line.
inline std::string event_frame(const BusEvent &event)
{
	std::string frame = "event: " + event.kind + "\n";
	size_t start = 0;
	while (true) {
		size_t end = event.data.find('\n', start);
		frame += "data: " + event.data.substr(start, end - start) + "\n";
		if (end == std::string::npos) break;
		start = end + 1;
	}
	return frame + "\n";
}
