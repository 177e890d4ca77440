#pragma once

#include <cstddef>
#include <cstdint>

#include "modem/decoder_interface.hh"

// One event of the stream as a value: what the receiver reported at the end
// of a period, with everything its line needs, so that no caller has to
// reach into a receiver.
struct Event
{
	int kind = STATUS_OKAY; // a Status other than STATUS_OKAY
	float cfo = -1;         // SYNC, NOPE, PING: centre of the carriers in Hz
	int mode = -1;          // SYNC, NOPE, PING
	char call_sign[10] = {}; // SYNC, NOPE, PING: nine characters, space padded
	int flips = 0;          // DONE: corrected bits, -1 when the payload failed
	size_t payload_size = 0; // DONE: bytes before the first zero byte, 0 when failed
	unsigned char payload[170] = {};
	int mapping = 0;        // DONE: points of the constellation that decoded the payload, 0 when failed
	uint64_t frame = 0;     // input frames consumed when the event was reported
};

// The event for a status that process() returned, with what the receiver
// holds for it: staged() for SYNC, NOPE and PING, fetch() for DONE. False
// for statuses without an event; the receiver is not touched for FAIL and
// HEAP, and may then be null.
bool read_event(int status, DecoderInterface *decoder, Event &event);
