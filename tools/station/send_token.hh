#pragma once

#include <random>
#include <string>

// 128 bits from /dev/urandom as 32 hexadecimal digits; throws when it cannot be read.
inline std::string make_send_token()
{
	static const char hex[] = "0123456789abcdef";
	std::random_device source("/dev/urandom");
	std::string token;
	for (int word = 0; word < 4; ++word) {
		unsigned bits = source();
		for (int i = 0; i < 8; ++i) token += hex[bits >> (4 * i) & 15];
	}
	return token;
}
