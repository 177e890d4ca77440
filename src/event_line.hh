#pragma once

#include <ostream>

#include "src/decoder_interface.hh"

// Received bytes as text that always stays on one line and can never pass
// for an event line: backslash, newline, carriage return and tab become \\,
// \n, \r and \t, the other control bytes and DEL become \xHH; bytes from 0x80
// up pass unchanged, so UTF-8 text stays readable. The text ends at the first
// zero byte or after size bytes.
inline void write_payload_text(std::ostream &out, const unsigned char *payload, int size)
{
	static const char hex[] = "0123456789abcdef";
	for (int i = 0; i < size && payload[i]; ++i) {
		unsigned char c = payload[i];
		switch (c) {
		case '\\': out << "\\\\"; break;
		case '\n': out << "\\n"; break;
		case '\r': out << "\\r"; break;
		case '\t': out << "\\t"; break;
		default:
			if (c < 0x20 || c == 0x7f)
				out << "\\x" << hex[c >> 4] << hex[c & 15];
			else
				out << char(c);
		}
	}
}

// The event line for one status of process(), flushed; nothing for statuses
// without an event. decoder is only read for statuses that carry results.
inline void write_event(std::ostream &out, int status, DecoderInterface *decoder)
{
	float cfo = -1;
	int mode = -1;
	unsigned char call[192] = {};
	unsigned char payload[170] = {};
	const char *name = nullptr;
	switch (status) {
	case STATUS_FAIL: out << "EVENT:PREAMBLE_FAIL" << std::endl; return;
	case STATUS_HEAP: out << "EVENT:HEAP_ERROR" << std::endl; return;
	case STATUS_DONE: {
		int flips = decoder->fetch(payload);
		out << "EVENT:MESSAGE|FLIPS:" << flips << "|PAYLOAD:";
		// Without a passing CRC the buffer holds whitening noise, not data.
		if (flips >= 0) write_payload_text(out, payload, sizeof payload);
		out << std::endl;
		return;
	}
	case STATUS_SYNC: name = "EVENT:SYNC"; break;
	case STATUS_NOPE: name = "EVENT:NOPE"; break;
	case STATUS_PING: name = "EVENT:PING"; break;
	default: return;
	}
	decoder->staged(&cfo, &mode, call);
	out << name << "|CFO:" << double(cfo) << "|MODE:" << mode << "|CALL:" << reinterpret_cast<const char *>(call)
	    << std::endl;
}
