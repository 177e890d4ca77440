#pragma once

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "code/assert.hh"
#include "modem/call_sign.hh"
#include "stream/event_line.hh"
#include "stream/stream_receiver.hh"
#include "testing/unescape.hh"

// One event as the fuzz targets compare it, with the line decode_stream prints.
struct CheckedEvent
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

inline bool starts_with(const std::string &s, const std::string &prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Checks one event against its line: one line, the right event, a call
// sign of the alphabet, and payload text that unescapes to the payload.
inline CheckedEvent check_event(const Event &event)
{
	char buffer[event_line_capacity];
	size_t length = event_line(event, buffer, sizeof buffer);
	ASSERT(length < sizeof buffer);
	CheckedEvent e;
	e.status = event.kind;
	e.line = std::string(buffer, length) + "\n";
	const std::string &line = e.line;
	ASSERT(line.find('\n') == line.size() - 1 && line.find('\r') == std::string::npos);
	if (e.status == STATUS_FAIL) {
		ASSERT(line == "EVENT:PREAMBLE_FAIL\n");
	} else if (e.status == STATUS_HEAP) {
		ASSERT(line == "EVENT:HEAP_ERROR\n");
	} else if (e.status == STATUS_DONE) {
		const std::string head = "EVENT:MESSAGE|FLIPS:";
		ASSERT(starts_with(line, head));
		size_t bar = line.find("|PAYLOAD:");
		ASSERT(bar != std::string::npos);
		e.flips = std::stoi(line.substr(head.size(), bar - head.size()));
		ASSERT(e.flips == event.flips && e.flips >= -1 && e.flips <= 1360);
		std::string text = line.substr(bar + 9, line.size() - bar - 10);
		if (e.flips < 0) {
			ASSERT(text.empty() && event.payload_size == 0);
		} else {
			const char *bytes = reinterpret_cast<const char *>(event.payload);
			e.payload.assign(bytes, strnlen(bytes, sizeof event.payload));
			ASSERT(e.payload.size() == event.payload_size);
			ASSERT(unescape(text) == e.payload);
		}
	} else {
		ASSERT(e.status == STATUS_SYNC || e.status == STATUS_NOPE || e.status == STATUS_PING);
		e.cfo = event.cfo;
		e.mode = event.mode;
		e.call.assign(event.call_sign, 9);
		ASSERT(event.call_sign[9] == 0);
		for (char c : e.call) ASSERT(std::strchr(call_sign_alphabet, c) && c);
		const char *name = e.status == STATUS_SYNC ? "EVENT:SYNC|CFO:" : e.status == STATUS_NOPE ? "EVENT:NOPE|CFO:" : "EVENT:PING|CFO:";
		ASSERT(starts_with(line, name));
		std::string tail = "|MODE:" + std::to_string(e.mode) + "|CALL:" + e.call + "\n";
		ASSERT(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0);
		if (e.status == STATUS_SYNC) ASSERT(e.mode >= 14 && e.mode <= 16 && e.call != "         ");
		if (e.status == STATUS_PING) ASSERT(e.mode == 0 && e.call != "         ");
		if (e.status == STATUS_NOPE) ASSERT((e.mode != 0 && (e.mode < 14 || e.mode > 16)) || e.call == "         ");
	}
	return e;
}

// Feeds interleaved frames (two values a frame for channels 1 to 4) through
// the stream layer, as decode_stream does, ends the input, and checks every
// event and that every SYNC is followed by exactly one MESSAGE before any
// other SYNC and before the end, and that a payload names the mapping that
// decoded it (the receiver's, or one of the three for any_mapping) and a
// failed one none. Returns the events.
// draw: also renders the spectrum after every period, as waterfall does.
inline std::vector<CheckedEvent> drive_receiver(int rate, int mapping, int channel, const short *samples, size_t frames,
					 bool draw = false, Demodulator demodulator = Demodulator::reference)
{
	struct Checker final : StreamListener
	{
		int mapping;
		bool draw, synced = false;
		std::vector<CheckedEvent> events;
		void period(DecoderInterface &decoder) override
		{
			static unsigned plot[360 * 128], waterfall[360 * 128];
			ASSERT(decoder.rate() == 8000 || decoder.rate() == 48000);
			if (draw) decoder.spectrum(plot, waterfall, 0x00ff00);
		}
		void event(const Event &event) override
		{
			CheckedEvent e = check_event(event);
			if (e.status == STATUS_SYNC) ASSERT(!synced);
			if (e.status == STATUS_DONE) {
				ASSERT(synced);
				int m = event.mapping;
				if (e.flips < 0) ASSERT(m == 0);
				else if (mapping == any_mapping) ASSERT(m == 2 || m == 4 || m == 8);
				else ASSERT(m == mapping);
			}
			if (e.status == STATUS_SYNC || e.status == STATUS_DONE) synced = e.status == STATUS_SYNC;
			events.push_back(e);
		}
	} checker;
	checker.mapping = mapping;
	checker.draw = draw;
	StreamReceiver stream(rate, mapping, channel, demodulator);
	ASSERT(stream.has_receiver());
	stream.feed(samples, frames, checker);
	stream.finish(checker);
	ASSERT(!checker.synced);
	return checker.events;
}
