#pragma once

#include <cstdio>
#include <ctime>
#include <string>

enum class Timestamps
{
	NONE,
	POSITION, // seconds from the start of the input, three decimals
	WALL,     // the clock when the event is printed, ISO 8601 in UTC
};

// The clock now as 2024-05-17T09:30:12.345Z.
inline std::string wall_clock()
{
	timespec now;
	clock_gettime(CLOCK_REALTIME, &now);
	tm utc;
	gmtime_r(&now.tv_sec, &utc);
	char text[40];
	size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
	std::snprintf(text + length, sizeof text - length, ".%03ldZ", now.tv_nsec / 1000000);
	return text;
}
