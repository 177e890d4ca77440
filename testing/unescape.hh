#pragma once

#include <optional>
#include <string>

// Inverse of the payload escaping. Nothing for text that the escaping cannot
// have written: a raw control byte, an unknown escape, an escape of a byte
// that needs none, \xHH for a byte with a short escape, upper-case or
// truncated hex, or a zero byte (the text ends before one).
inline std::optional<std::string> unescape(const std::string &text)
{
	auto digit = [](char c) -> int {
		if (c >= '0' && c <= '9') return c - '0';
		if (c >= 'a' && c <= 'f') return c - 'a' + 10;
		return -1;
	};
	std::string bytes;
	for (size_t i = 0; i < text.size(); ++i) {
		unsigned char c = text[i];
		if (c < 0x20 || c == 0x7f) return std::nullopt;
		if (c != '\\') {
			bytes += char(c);
			continue;
		}
		if (++i == text.size()) return std::nullopt;
		switch (text[i]) {
		case '\\': bytes += '\\'; break;
		case 'n': bytes += '\n'; break;
		case 'r': bytes += '\r'; break;
		case 't': bytes += '\t'; break;
		case 'x': {
			if (i + 2 >= text.size()) return std::nullopt;
			int high = digit(text[i + 1]), low = digit(text[i + 2]);
			if (high < 0 || low < 0) return std::nullopt;
			int value = 16 * high + low;
			bool needs_hex = (value < 0x20 || value == 0x7f) && value && value != '\n' && value != '\r' &&
					 value != '\t';
			if (!needs_hex) return std::nullopt;
			bytes += char(value);
			i += 2;
			break;
		}
		default: return std::nullopt;
		}
	}
	return bytes;
}
