#pragma once

#include <string>

#include "tools/station/send_queue.hh"

// The body of POST /send, {"call": "DL1ABC", "mode": 15, "payload": "text"},
// as a transmission; false with a message for the sender otherwise. call is
// one to nine letters, digits and spaces, mode 0 (ping, no payload), 14, 15
// or 16, payload a string of at most as many UTF-8 bytes as the mode
// carries (170, 128, 85), without a zero byte, which would end it early.
bool parse_send_request(const std::string &body, Transmission &out, std::string &error);
