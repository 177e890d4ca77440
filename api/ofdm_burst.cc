#include "api/ofdm_burst.h"

#include <cstring>
#include <new>

#include "stream/event_line.hh"
#include "stream/stream_receiver.hh"

#define EXPORT __attribute__((visibility("default")))

static_assert(OFDM_BURST_PREAMBLE_FAIL == STATUS_FAIL && OFDM_BURST_SYNC == STATUS_SYNC &&
              OFDM_BURST_MESSAGE == STATUS_DONE && OFDM_BURST_HEAP_ERROR == STATUS_HEAP &&
              OFDM_BURST_NOPE == STATUS_NOPE && OFDM_BURST_PING == STATUS_PING);
static_assert(OFDM_BURST_ERROR_RATE == STREAM_BAD_RATE && OFDM_BURST_ERROR_MAPPING == STREAM_BAD_MAPPING &&
              OFDM_BURST_ERROR_CHANNEL == STREAM_BAD_CHANNEL && OFDM_BURST_ERROR_MEMORY == STREAM_NO_MEMORY);
static_assert(OFDM_BURST_MAPPING_ANY == any_mapping);
static_assert(OFDM_BURST_DEMOD_REFERENCE == int(Demodulator::reference) &&
              OFDM_BURST_DEMOD_ENHANCED == int(Demodulator::enhanced));

struct ofdm_burst_receiver
{
	StreamReceiver stream;
};

namespace {

// Hands the stream's events to a C handler.
struct Forward final : StreamListener
{
	ofdm_burst_handler handler;
	void *context;

	Forward(ofdm_burst_handler handler, void *context) : handler(handler), context(context) {}

	void event(const Event &e) override
	{
		if (!handler) return;
		ofdm_burst_event out = {};
		out.kind = e.kind;
		out.cfo_hz = e.cfo;
		out.mode = e.mode;
		std::memcpy(out.call_sign, e.call_sign, sizeof out.call_sign);
		out.flips = e.flips;
		out.payload_size = e.payload_size;
		std::memcpy(out.payload, e.payload, sizeof out.payload);
		out.frame = e.frame;
		out.mapping = e.mapping;
		handler(&out, context);
	}
};

// Reads nothing after frame: the caller's structure may be one of the size
// before mapping was appended.
Event from_c(const ofdm_burst_event &e)
{
	Event out;
	out.kind = e.kind;
	out.cfo = e.cfo_hz;
	out.mode = e.mode;
	std::memcpy(out.call_sign, e.call_sign, sizeof out.call_sign);
	out.call_sign[sizeof out.call_sign - 1] = 0;
	out.flips = e.flips;
	out.payload_size = e.payload_size < sizeof out.payload ? e.payload_size : sizeof out.payload;
	std::memcpy(out.payload, e.payload, sizeof out.payload);
	out.frame = e.frame;
	return out;
}

}

extern "C" {

EXPORT ofdm_burst_receiver *ofdm_burst_receiver_create_ex(int rate, int mapping, int channel, int demodulator,
                                                          int *error)
{
	int status = check_stream(rate, mapping);
	if (!status && (channel < 0 || channel > 4)) status = STREAM_BAD_CHANNEL;
	if (!status && demodulator != OFDM_BURST_DEMOD_REFERENCE && demodulator != OFDM_BURST_DEMOD_ENHANCED)
		status = OFDM_BURST_ERROR_DEMODULATOR;
	ofdm_burst_receiver *rx = nullptr;
	if (!status) {
		rx = new (std::nothrow) ofdm_burst_receiver{{rate, mapping, channel, Demodulator(demodulator)}};
		if (!rx || !rx->stream.has_receiver()) {
			delete rx;
			rx = nullptr;
			status = STREAM_NO_MEMORY;
		}
	}
	if (error) *error = status;
	return rx;
}

EXPORT ofdm_burst_receiver *ofdm_burst_receiver_create(int rate, int mapping, int channel, int *error)
{
	return ofdm_burst_receiver_create_ex(rate, mapping, channel, OFDM_BURST_DEMOD_REFERENCE, error);
}

EXPORT int ofdm_burst_receiver_feed(ofdm_burst_receiver *rx, const int16_t *samples, size_t frames,
                                    ofdm_burst_handler handler, void *context)
{
	if (!rx || (!samples && frames)) return OFDM_BURST_ERROR_ARGUMENT;
	Forward forward(handler, context);
	rx->stream.feed(samples, frames, forward);
	return 0;
}

EXPORT int ofdm_burst_receiver_finish(ofdm_burst_receiver *rx, ofdm_burst_handler handler, void *context)
{
	if (!rx) return OFDM_BURST_ERROR_ARGUMENT;
	Forward forward(handler, context);
	rx->stream.finish(forward);
	return 0;
}

EXPORT void ofdm_burst_receiver_destroy(ofdm_burst_receiver *rx) { delete rx; }

EXPORT size_t ofdm_burst_event_line(const ofdm_burst_event *event, char *buffer, size_t size)
{
	if (!event) {
		if (size) buffer[0] = 0;
		return 0;
	}
	return event_line(from_c(*event), buffer, size);
}

EXPORT const char *ofdm_burst_strerror(int error)
{
	switch (error) {
	case 0: return "no error";
	case OFDM_BURST_ERROR_RATE: return "unsupported sample rate (8000 or 48000 Hz)";
	case OFDM_BURST_ERROR_MAPPING: return "unsupported mapping (2, 4 or 8 points, or 0 for any)";
	case OFDM_BURST_ERROR_CHANNEL: return "unsupported channel selection (0 to 4)";
	case OFDM_BURST_ERROR_MEMORY: return "no memory for a receiver";
	case OFDM_BURST_ERROR_ARGUMENT: return "null receiver, or null samples with frames";
	case OFDM_BURST_ERROR_DEMODULATOR: return "unsupported demodulator (reference 0 or enhanced 1)";
	default: return "unknown error";
	}
}

EXPORT const char *ofdm_burst_version(void) { return OFDM_BURST_VERSION; }
}
