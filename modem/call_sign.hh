#pragma once

#include <cstdint>

// Call signs are nine base-37 digits, most significant first, over the
// alphabet below (digit 0 is the space). Text is left-aligned: "ABC" is
// A·37^8 + B·37^7 + C·37^6, and the receiver prints it with six trailing
// spaces. Valid call signs are 1 … 37^9 - 1.
inline constexpr char call_sign_alphabet[] = " 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr uint64_t call_sign_limit = 129961739795077; // 37^9

// Writes exactly nine characters to out9, no terminating zero.
// Values of 37^9 and above keep only their nine lowest digits.
inline void render_call_sign(unsigned char *out9, uint64_t call_sign)
{
	for (int i = 8; i >= 0; --i) {
		out9[i] = call_sign_alphabet[call_sign % 37];
		call_sign /= 37;
	}
}

// Digit of one character, lower case taken as upper case; -1 outside the alphabet.
inline constexpr int call_sign_digit(char c)
{
	if (c == ' ') return 0;
	if (c >= '0' && c <= '9') return 1 + (c - '0');
	if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
	if (c >= 'A' && c <= 'Z') return 11 + (c - 'A');
	return -1;
}

// Number of a zero-terminated call sign of one to nine characters, or 0 when
// the text is empty, longer than nine characters, holds a character outside
// the alphabet, or is all spaces.
inline constexpr uint64_t encode_call_sign(const char *text)
{
	uint64_t value = 0;
	int length = 0;
	for (; text[length]; ++length) {
		int digit = call_sign_digit(text[length]);
		if (length == 9 || digit < 0) return 0;
		value = 37 * value + digit;
	}
	for (int i = length; i < 9; ++i) value *= 37;
	return value;
}
