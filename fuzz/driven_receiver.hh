#pragma once

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "src/assert.hh"
#include "src/call_sign.hh"
#include "src/event_line.hh"
#include "src/make_decoder.hh"

// What one process() call reported, with the line write_event made of it.
struct Event
{
	int status = STATUS_OKAY;
	std::string line;
	float cfo = 0;
	int mode = -1;
	std::string call;
	int flips = 0;
	// DONE with flips >= 0: the payload up to its first zero byte.
	std::string payload;
};

// Inverse of write_payload_text; stops the program on an escape that
// write_payload_text never writes.
inline std::string unescape_payload(const std::string &text)
{
	std::string bytes;
	for (size_t i = 0; i < text.size(); ++i) {
		unsigned char c = text[i];
		ASSERT(c >= 0x20 && c != 0x7f);
		if (c != '\\') {
			bytes += char(c);
			continue;
		}
		ASSERT(i + 1 < text.size());
		switch (text[++i]) {
		case '\\': bytes += '\\'; break;
		case 'n': bytes += '\n'; break;
		case 'r': bytes += '\r'; break;
		case 't': bytes += '\t'; break;
		case 'x': {
			ASSERT(i + 2 < text.size());
			int value = std::stoi(text.substr(i + 1, 2), nullptr, 16);
			ASSERT((value < 0x20 || value == 0x7f) && value != '\n' && value != '\r' && value != '\t' && value);
			const char *hex = "0123456789abcdef";
			ASSERT(text[i + 1] == hex[value >> 4] && text[i + 2] == hex[value & 15]);
			bytes += char(value);
			i += 2;
			break;
		}
		default: ASSERT(!"unknown escape");
		}
	}
	return bytes;
}

inline bool starts_with(const std::string &s, const std::string &prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Checks what the receiver reported for one status against the event line
// written for it: one line, the right event, a call sign of the alphabet, and
// payload text that unescapes to the fetched bytes.
inline Event check_event(int status, DecoderInterface &decoder, const std::string &line)
{
	Event e;
	e.status = status;
	e.line = line;
	ASSERT(status >= STATUS_OKAY && status <= STATUS_PING && status != STATUS_HEAP);
	if (status == STATUS_OKAY) {
		ASSERT(line.empty());
		return e;
	}
	ASSERT(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1);
	ASSERT(line.find('\r') == std::string::npos);
	if (status == STATUS_FAIL) {
		ASSERT(line == "EVENT:PREAMBLE_FAIL\n");
	} else if (status == STATUS_DONE) {
		const std::string head = "EVENT:MESSAGE|FLIPS:";
		ASSERT(starts_with(line, head));
		size_t bar = line.find("|PAYLOAD:");
		ASSERT(bar != std::string::npos);
		e.flips = std::stoi(line.substr(head.size(), bar - head.size()));
		std::string text = line.substr(bar + 9, line.size() - bar - 10);
		unsigned char bytes[170];
		std::memset(bytes, 0x5a, sizeof bytes);
		int flips = decoder.fetch(bytes);
		ASSERT(flips == e.flips);
		ASSERT(flips >= -1 && flips <= 1360);
		if (flips < 0) {
			ASSERT(text.empty());
		} else {
			e.payload.assign(reinterpret_cast<const char *>(bytes), strnlen(reinterpret_cast<const char *>(bytes), sizeof bytes));
			ASSERT(unescape_payload(text) == e.payload);
		}
	} else {
		unsigned char call[9];
		decoder.staged(&e.cfo, &e.mode, call);
		e.call.assign(reinterpret_cast<const char *>(call), 9);
		for (char c : e.call) ASSERT(std::strchr(call_sign_alphabet, c) && c);
		const char *name = status == STATUS_SYNC ? "EVENT:SYNC|CFO:" : status == STATUS_NOPE ? "EVENT:NOPE|CFO:" : "EVENT:PING|CFO:";
		ASSERT(starts_with(line, name));
		std::string tail = "|MODE:" + std::to_string(e.mode) + "|CALL:" + e.call + "\n";
		ASSERT(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0);
		if (status == STATUS_SYNC) ASSERT(e.mode >= 14 && e.mode <= 16 && e.call != "         ");
		if (status == STATUS_PING) ASSERT(e.mode == 0 && e.call != "         ");
		if (status == STATUS_NOPE) ASSERT((e.mode != 0 && (e.mode < 14 || e.mode > 16)) || e.call == "         ");
	}
	return e;
}

// Feeds interleaved frames (two values a frame for channels 1 to 4) to a
// receiver of the variant in blocks of rate/50 frames, as decode_stream does:
// process() after every completed period, a new receiver after FAIL and DONE,
// a trailing part block dropped. Returns the events other than OKAY.
// draw: also renders the spectrum after every period, as waterfall does.
inline std::vector<Event> drive_receiver(int rate, int mapping, int channel, const short *samples, size_t frames,
					 bool draw = false)
{
	static unsigned plot[360 * 128], waterfall[360 * 128];
	std::unique_ptr<DecoderInterface> decoder(make_decoder(rate, mapping));
	ASSERT(decoder && decoder->rate() == rate);
	const int block = rate / 50, width = channel >= 1 && channel <= 4 ? 2 : 1;
	std::vector<Event> events;
	bool synced = false;
	for (size_t first = 0; first + block <= frames; first += block) {
		if (!decoder->feed(samples + first * width, block, channel)) continue;
		int status = decoder->process();
		std::ostringstream out;
		write_event(out, status, decoder.get());
		Event e = check_event(status, *decoder, out.str());
		if (draw) decoder->spectrum(plot, waterfall, 0x00ff00);
		if (status == STATUS_DONE) ASSERT(synced);
		synced = synced || status == STATUS_SYNC;
		if (status != STATUS_OKAY) events.push_back(e);
		if (status == STATUS_FAIL || status == STATUS_DONE) {
			decoder.reset(make_decoder(rate, mapping));
			ASSERT(decoder);
			synced = false;
		}
	}
	return events;
}
