#pragma once

#include <string>
#include <vector>

#include "modem/spectrum.hh"
#include "stream/stream_receiver.hh"
#include "tools/cli/progress.hh"
#include "tools/io/event_printer.hh"
#include "tools/station/bus.hh"
#include "tools/station/event_log.hh"
#include "tools/station/row_event.hh"
#include "tools/station/station_json.hh"

// Where the receiver's events go: standard output exactly as decode_stream
// prints them, the log and the pages; and while a page listens, the newest
// waterfall rows (two per period of 180 ms).
class StationListener final : public StreamListener
{
public:
	StationListener(const StreamReceiver &stream, bool json, Timestamps timestamps, int mapping, EventLog &log,
			Bus &bus)
	    : stream(stream), printer(json, timestamps, stream.rate(), progress), rate(stream.rate()), mapping(mapping),
	      log(log), bus(bus),
	      plot(SpectrumImage::width * SpectrumImage::height), scroll(plot.size())
	{
	}

	void event(const Event &event) override
	{
		printer.event(event);
		if (event.kind == STATUS_SYNC) sync = event;
		std::string json = station_event_json(event, double(event.frame) / rate, wall_clock(), mapping, sync);
		log.append(json);
		bus.publish("message", std::move(json));
	}

	void period(DecoderInterface &decoder) override
	{
		if (!bus.subscribers()) return;
		decoder.spectrum(plot.data(), scroll.data(), 0xF0E060);
		// Row r is centred r * 90 ms after the first sample, as in burst_waterfall.
		long newest = long(2 * stream.frames() * 50 / (9 * uint64_t(rate))) - 1;
		bus.publish("row", row_event((newest - 1) * 0.09, scroll.data() + SpectrumImage::width));
		bus.publish("row", row_event(newest * 0.09, scroll.data()));
	}

private:
	const StreamReceiver &stream;
	Progress progress; // never started: the station draws no progress line
	EventPrinter printer;
	int rate, mapping;
	EventLog &log;
	Bus &bus;
	Event sync;
	std::vector<unsigned> plot, scroll;
};
