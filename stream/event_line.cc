#include "stream/event_line.hh"

#include <charconv>
#include <cstring>

namespace {

// Appends to a caller's buffer as snprintf does: keeps counting past its
// end so that the caller learns the whole length.
class Text
{
	char *buffer;
	size_t capacity, length = 0;

public:
	Text(char *buffer, size_t capacity) : buffer(buffer), capacity(capacity) {}

	void put(char c)
	{
		if (length + 1 < capacity) buffer[length] = c;
		++length;
	}
	void put(const char *s, size_t n)
	{
		for (size_t i = 0; i < n; ++i) put(s[i]);
	}
	void put(const char *s) { put(s, std::strlen(s)); }
	template <typename T>
	void number(T value)
	{
		char digits[32];
		std::to_chars_result end;
		// A float converted to double, as a stream prints it: %g, six digits.
		if constexpr (std::is_floating_point_v<T>)
			end = std::to_chars(digits, digits + sizeof digits, double(value), std::chars_format::general, 6);
		else
			end = std::to_chars(digits, digits + sizeof digits, value);
		put(digits, end.ptr - digits);
	}
	size_t finish()
	{
		if (capacity) buffer[length < capacity ? length : capacity - 1] = 0;
		return length;
	}
};

void escape(Text &text, const unsigned char *payload, size_t size)
{
	static const char hex[] = "0123456789abcdef";
	for (size_t i = 0; i < size && payload[i]; ++i) {
		unsigned char c = payload[i];
		switch (c) {
		case '\\': text.put("\\\\"); break;
		case '\n': text.put("\\n"); break;
		case '\r': text.put("\\r"); break;
		case '\t': text.put("\\t"); break;
		default:
			if (c < 0x20 || c == 0x7f) {
				text.put("\\x");
				text.put(hex[c >> 4]);
				text.put(hex[c & 15]);
			} else {
				text.put(char(c));
			}
		}
	}
}

}

size_t payload_text(const unsigned char *payload, size_t size, char *buffer, size_t capacity)
{
	Text text(buffer, capacity);
	escape(text, payload, size);
	return text.finish();
}

size_t event_line(const Event &event, char *buffer, size_t capacity)
{
	Text text(buffer, capacity);
	const char *name = nullptr;
	switch (event.kind) {
	case STATUS_FAIL: text.put("EVENT:PREAMBLE_FAIL"); break;
	case STATUS_HEAP: text.put("EVENT:HEAP_ERROR"); break;
	case STATUS_DONE:
		text.put("EVENT:MESSAGE|FLIPS:");
		text.number(event.flips);
		text.put("|PAYLOAD:");
		// Without a passing CRC the bytes are whitening noise, not data.
		if (event.flips >= 0) escape(text, event.payload, event.payload_size);
		break;
	case STATUS_SYNC: name = "EVENT:SYNC"; break;
	case STATUS_NOPE: name = "EVENT:NOPE"; break;
	case STATUS_PING: name = "EVENT:PING"; break;
	}
	if (name) {
		text.put(name);
		text.put("|CFO:");
		text.number(event.cfo);
		text.put("|MODE:");
		text.number(event.mode);
		text.put("|CALL:");
		text.put(event.call_sign, strnlen(event.call_sign, sizeof event.call_sign));
	}
	return text.finish();
}
