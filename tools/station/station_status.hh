#pragma once

#include <cstdio>
#include <string>

#include "tools/station/input_meter.hh"

// What the station reports about itself: one line on standard error and a
// "status" event for the pages, from the same figures.
struct StationStatus
{
	double input_rate = 0; // frames per second measured since the last line
	bool input_lost = false;
	bool keyed = false;
	size_t queued = 0;
	unsigned long underruns = 0, sent = 0;
};

inline std::string status_line(const InputMeter &m, const StationStatus &s)
{
	char text[400];
	std::snprintf(text, sizeof text,
		      "input %.1f Hz%s, overruns %llu, lost %llu frames, level %.1f dBFS (peak %.1f), clipped %llu%s, "
		      "sent %lu, underruns %lu",
		      s.input_rate, s.input_lost ? " (device lost)" : "", (unsigned long long)m.overruns.load(),
		      (unsigned long long)m.dropped.load(), m.level.load(), m.peak.load(),
		      (unsigned long long)m.clipped.load(), m.clipping.load() ? " CLIPPING" : "", s.sent, s.underruns);
	return text;
}

// The "status" event as the page reads it (see bus.hh): "rate", "level"
// (peak dBFS of the last half second), "clipping", "overruns",
// "underruns", "tx" ("idle" or "keyed"), "queued"; and besides "rms" (dBFS),
// "lost" (frames the receiver had no room for), "sent" and "input" ("ok"
// or "lost": the capture device is being opened again).
inline std::string status_json(const InputMeter &m, const StationStatus &s)
{
	char text[400];
	std::snprintf(text, sizeof text,
		      "{\"rate\":%.1f,\"level\":%.1f,\"clipping\":%s,\"overruns\":%llu,\"underruns\":%lu,"
		      "\"tx\":\"%s\",\"queued\":%zu,\"rms\":%.1f,\"lost\":%llu,\"sent\":%lu,\"input\":\"%s\"}",
		      s.input_rate, m.peak.load(), m.clipping.load() ? "true" : "false",
		      (unsigned long long)m.overruns.load(), s.underruns, s.keyed ? "keyed" : "idle", s.queued,
		      m.level.load(), (unsigned long long)m.dropped.load(), s.sent, s.input_lost ? "lost" : "ok");
	return text;
}
