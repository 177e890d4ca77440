#include "stream/event.hh"

#include <algorithm>
#include <cstring>

bool read_event(int status, DecoderInterface *decoder, Event &event)
{
	event = Event();
	event.kind = status;
	switch (status) {
	case STATUS_SYNC:
	case STATUS_NOPE:
	case STATUS_PING: {
		unsigned char call[9];
		decoder->staged(&event.cfo, &event.mode, call);
		std::memcpy(event.call_sign, call, sizeof call);
		return true;
	}
	case STATUS_DONE:
		event.flips = decoder->fetch(event.payload);
		// Without a passing CRC the bytes are whitening noise, not data.
		if (event.flips < 0)
			std::fill(event.payload, event.payload + sizeof event.payload, 0);
		else
			event.payload_size = strnlen(reinterpret_cast<const char *>(event.payload), sizeof event.payload);
		return true;
	case STATUS_FAIL:
	case STATUS_HEAP: return true;
	default: return false;
	}
}
