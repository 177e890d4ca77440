#pragma once

#include <gtest/gtest.h>

#include <string>

// Inverse of the payload escaping; fails the test on anything the escaping
// cannot have produced (a raw control byte, a needless or a long escape).
inline std::string unescape(const std::string &text)
{
	std::string bytes;
	for (size_t i = 0; i < text.size(); ++i) {
		unsigned char c = text[i];
		EXPECT_TRUE(c >= 0x20 && c != 0x7f) << "raw control byte " << int(c);
		if (c != '\\') {
			bytes += char(c);
			continue;
		}
		char e = i + 1 < text.size() ? text[++i] : '?';
		if (e == 'n' || e == 'r' || e == 't' || e == '\\') {
			bytes += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : '\\';
		} else if (e == 'x' && i + 2 < text.size()) {
			int value = std::stoi(text.substr(i + 1, 2), nullptr, 16);
			EXPECT_TRUE(value < 0x20 || value == 0x7f) << "needless escape " << value;
			EXPECT_FALSE(value == '\n' || value == '\r' || value == '\t') << "long escape " << value;
			bytes += char(value), i += 2;
		} else {
			ADD_FAILURE() << "invalid escape \\" << e;
		}
	}
	return bytes;
}
