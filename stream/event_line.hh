#pragma once

#include <cstddef>

#include "stream/event.hh"

// Room for the longest event line and its terminating zero: a message of
// 170 bytes that each need four characters.
constexpr size_t event_line_capacity = 1024;

// Received bytes as text that always stays on one line and can never pass
// for an event line: backslash, newline, carriage return and tab become \\,
// \n, \r and \t, the other control bytes and DEL become \xHH; bytes from 0x80
// up pass unchanged, so UTF-8 text stays readable. The text ends at the first
// zero byte or after size bytes. Writes as snprintf does: at most capacity
// characters including a terminating zero; returns the length of the whole
// text.
size_t payload_text(const unsigned char *payload, size_t size, char *buffer, size_t capacity);

// The line decode_stream prints for an event, without the newline, written
// as snprintf does; an empty line for STATUS_OKAY and unknown kinds. Numbers
// do not depend on the locale: the offset as printf's %g, integers in plain
// decimal. Allocates nothing.
size_t event_line(const Event &event, char *buffer, size_t capacity);
