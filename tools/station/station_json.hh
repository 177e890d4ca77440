#pragma once

#include <cstdio>
#include <string>

#include "stream/event.hh"
#include "stream/make_decoder.hh"
#include "tools/io/event_json.hh"

// A received event as the page and the log get it: decode_stream's JSON
// object with the wall-clock time ("wall"); "mapping" where it is known (a
// MESSAGE always says it; the other events only when the station listens
// for one mapping, not any); and for MESSAGE the frequency offset, mode
// and call sign of the burst it ends (from its SYNC), so that one object
// says all about a message.
inline std::string station_event_json(const Event &event, double seconds, const std::string &wall, int mapping,
				      const Event &sync)
{
	std::string out = event_json(event, seconds, wall);
	out.pop_back();
	if (event.kind != STATUS_DONE && mapping != any_mapping) out += ",\"mapping\":" + std::to_string(mapping);
	if (event.kind == STATUS_DONE) {
		std::string call(sync.call_sign);
		call.erase(0, call.find_first_not_of(' '));
		call.erase(call.find_last_not_of(' ') + 1);
		char number[64];
		std::snprintf(number, sizeof number, ",\"cfo\":%g,\"mode\":%d", double(sync.cfo), sync.mode);
		out += number + std::string(",\"call\":\"") +
		       json_text(reinterpret_cast<const unsigned char *>(call.data()), call.size()) + "\"";
	}
	return out + "}";
}
