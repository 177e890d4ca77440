#pragma once

#include <cstdint>
#include <string>

// Header of a RIFF/WAVE file of 16-bit PCM with data_bytes bytes of samples.
inline std::string wav_header(int rate, int channels, uint32_t data_bytes)
{
	std::string h;
	auto u32 = [&h](uint32_t v) { for (int i = 0; i < 4; ++i) h += char(v >> (8 * i)); };
	auto u16 = [&h](uint16_t v) { for (int i = 0; i < 2; ++i) h += char(v >> (8 * i)); };
	h += "RIFF";
	u32(36 + data_bytes);
	h += "WAVEfmt ";
	u32(16);
	u16(1); // integer PCM
	u16(channels);
	u32(rate);
	u32(rate * channels * 2);
	u16(channels * 2);
	u16(16);
	h += "data";
	u32(data_bytes);
	return h;
}
