#pragma once

#include <cstdio>
#include <string>

// The JSON of a "row" event: the row's time in seconds of input and its 360
// pixels 0xAARRGGBB (spectrum_colour) as base64 of R, G, B, alpha bytes, the
// order a canvas's ImageData holds them in, at a third of the size of numbers.
inline std::string row_event(double seconds, const unsigned *argb, int count = 360)
{
	static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
	std::string bytes;
	for (int i = 0; i < count; ++i) {
		unsigned p = argb[i];
		bytes += char(p >> 16 & 255), bytes += char(p >> 8 & 255), bytes += char(p & 255), bytes += char(p >> 24);
	}
	std::string text;
	for (size_t i = 0; i < bytes.size(); i += 3) {
		unsigned chunk = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
		if (i + 1 < bytes.size()) chunk |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
		if (i + 2 < bytes.size()) chunk |= static_cast<unsigned char>(bytes[i + 2]);
		text += digits[chunk >> 18 & 63];
		text += digits[chunk >> 12 & 63];
		text += i + 1 < bytes.size() ? digits[chunk >> 6 & 63] : '=';
		text += i + 2 < bytes.size() ? digits[chunk & 63] : '=';
	}
	char time[32];
	std::snprintf(time, sizeof time, "%.3f", seconds);
	return std::string("{\"t\":") + time + ",\"rgba\":\"" + text + "\"}";
}
