#pragma once

#include <cstdio>
#include <string>

#include "stream/event.hh"

// Bytes as the contents of a JSON string: valid UTF-8 passes, quote and
// backslash are escaped, control characters and DEL become \n, \r, \t or
// \u00XX, and each byte that is not part of valid UTF-8 becomes U+FFFD, so
// that the text is always valid JSON (the hex field keeps the bytes).
inline std::string json_text(const unsigned char *bytes, size_t size)
{
	std::string out;
	for (size_t i = 0; i < size;) {
		unsigned char c = bytes[i];
		// Length of a valid UTF-8 sequence starting here: no overlong
		// forms, no surrogates, nothing above U+10FFFF.
		size_t length = c < 0x80 ? 1 : c < 0xC2 ? 0 : c <= 0xDF ? 2 : c <= 0xEF ? 3 : c <= 0xF4 ? 4 : 0;
		for (size_t k = 1; k < length; ++k)
			if (i + k >= size || (bytes[i + k] & 0xC0) != 0x80) length = 0;
		if (length >= 3) {
			unsigned char second = bytes[i + 1];
			if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
			    (c == 0xF4 && second > 0x8F))
				length = 0;
		}
		if (length > 1) {
			out.append(reinterpret_cast<const char *>(bytes + i), length);
			i += length;
			continue;
		}
		++i;
		if (!length) out += "\\ufffd";
		else if (c == '"' || c == '\\') out += '\\', out += char(c);
		else if (c == '\n') out += "\\n";
		else if (c == '\r') out += "\\r";
		else if (c == '\t') out += "\\t";
		else if (c < 0x20 || c == 0x7f) {
			char escape[8];
			std::snprintf(escape, sizeof escape, "\\u%04x", c);
			out += escape;
		} else out += char(c);
	}
	return out;
}

// One event as a JSON object on one line: "kind" as in the event lines
// (SYNC, MESSAGE, PING, NOPE, PREAMBLE_FAIL, HEAP_ERROR), "time" in seconds
// from the start of the input, "wall" when given (ISO 8601); for SYNC, PING
// and NOPE "cfo" in Hz, "mode" and "call" without padding; for MESSAGE
// "flips", "mapping" (0 when the payload failed), "payload" as text and
// "payload_hex" as the bytes.
inline std::string event_json(const Event &event, double seconds, const std::string &wall)
{
	const char *kind = "";
	switch (event.kind) {
	case STATUS_SYNC: kind = "SYNC"; break;
	case STATUS_DONE: kind = "MESSAGE"; break;
	case STATUS_PING: kind = "PING"; break;
	case STATUS_NOPE: kind = "NOPE"; break;
	case STATUS_FAIL: kind = "PREAMBLE_FAIL"; break;
	case STATUS_HEAP: kind = "HEAP_ERROR"; break;
	}
	char number[64];
	std::snprintf(number, sizeof number, "%.3f", seconds);
	std::string out = std::string("{\"kind\":\"") + kind + "\",\"time\":" + number;
	if (!wall.empty()) out += ",\"wall\":\"" + wall + "\"";
	if (event.kind == STATUS_SYNC || event.kind == STATUS_PING || event.kind == STATUS_NOPE) {
		std::string call(event.call_sign);
		call.erase(0, call.find_first_not_of(' '));
		call.erase(call.find_last_not_of(' ') + 1);
		std::snprintf(number, sizeof number, ",\"cfo\":%g,\"mode\":%d", double(event.cfo), event.mode);
		out += number + std::string(",\"call\":\"") +
		       json_text(reinterpret_cast<const unsigned char *>(call.data()), call.size()) + "\"";
	} else if (event.kind == STATUS_DONE) {
		static const char hex[] = "0123456789abcdef";
		std::string bytes;
		for (size_t i = 0; i < event.payload_size; ++i)
			bytes += hex[event.payload[i] >> 4], bytes += hex[event.payload[i] & 15];
		out += ",\"flips\":" + std::to_string(event.flips) + ",\"mapping\":" + std::to_string(event.mapping) +
		       ",\"payload\":\"" +
		       json_text(event.payload, event.payload_size) + "\",\"payload_hex\":\"" + bytes + "\"";
	}
	return out + "}";
}
