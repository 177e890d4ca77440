#pragma once

#include <string>
#include <vector>

#include "stream/stream_receiver.hh"
#include "tools/io/event_json.hh"
#include "tools/io/timestamps.hh"
#include "tools/station/bus.hh"
#include "tools/station/row_event.hh"

// Hears a stream and tells the pages: the two waterfall rows of every
// period, oldest first, and every event as decode_stream's JSON line. Row r
// is centred r * 90 ms after the first sample, as burst_waterfall has it.
class PageFeed final : public StreamListener
{
public:
	static constexpr double row_seconds = 0.09;

	PageFeed(Bus &bus, const StreamReceiver &stream) : bus(bus), stream(stream), plot(360 * 128), scroll(360 * 128) {}

	void period(DecoderInterface &decoder) override
	{
		decoder.spectrum(plot.data(), scroll.data(), 0);
		long newest = long(2 * stream.frames() * 50 / (9 * uint64_t(stream.rate()))) - 1;
		bus.publish("row", row_event((newest - 1) * row_seconds, scroll.data() + 360));
		bus.publish("row", row_event(newest * row_seconds, scroll.data()));
	}

	void event(const Event &event) override
	{
		bus.publish("message", event_json(event, double(event.frame) / stream.rate(), wall_clock()));
	}

private:
	Bus &bus;
	const StreamReceiver &stream;
	std::vector<unsigned> plot, scroll;
};
