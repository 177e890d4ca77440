#pragma once

#include <string>

#include "modem/call_sign.hh"
#include "modem/encoder.hh"
#include "tools/station/send_queue.hh"

// Why a transmission cannot be sent, or empty when it can: a call sign of
// one to nine characters of A-Z, 0-9 and space, not all spaces; mode 14,
// 15, 16 or 0 (a ping); a payload of one byte up to what the mode carries,
// without a zero byte (the message would end there), none for a ping. The
// page, POST /send and the FIFO all go through it.
inline std::string transmission_error(const Transmission &t)
{
	if (!encode_call_sign(t.call.c_str()) || t.call.find('\0') != std::string::npos)
		return "invalid call sign \"" + t.call + "\" (1 to 9 of A-Z, 0-9 and space)";
	if (t.mode != 0 && !Air::payload_bytes(t.mode))
		return "invalid mode " + std::to_string(t.mode) + " (14, 15, 16 or 0 for a ping)";
	if (t.mode == 0 && !t.payload.empty()) return "a ping (mode 0) carries no payload";
	size_t limit = Air::payload_bytes(t.mode);
	if (t.payload.size() > limit)
		return "payload of " + std::to_string(t.payload.size()) + " bytes is too long for mode " +
		       std::to_string(t.mode) + " (at most " + std::to_string(limit) + ")";
	if (t.payload.find('\0') != std::string::npos) return "payload must not hold a zero byte";
	if (t.mode != 0 && t.payload.empty()) return "payload is empty: send a ping (mode 0) instead";
	return "";
}

// A line of the send FIFO, "CALL MODE PAYLOAD": the call sign, then the
// mode (14, 15, 16, ping or 0), then after one space the payload to the
// end of the line. Returns the error, or empty when t holds the line.
inline std::string parse_send_line(std::string line, Transmission &t)
{
	if (!line.empty() && line.back() == '\r') line.pop_back();
	size_t call_end = line.find(' ');
	if (call_end == std::string::npos) return "expected CALL MODE PAYLOAD";
	size_t mode_end = line.find(' ', call_end + 1);
	std::string mode = line.substr(call_end + 1, mode_end == std::string::npos ? std::string::npos : mode_end - call_end - 1);
	t.call = line.substr(0, call_end);
	t.payload = mode_end == std::string::npos ? "" : line.substr(mode_end + 1);
	if (mode == "ping" || mode == "0") t.mode = 0;
	else if (mode == "14" || mode == "15" || mode == "16") t.mode = std::stoi(mode);
	else return "invalid mode \"" + mode + "\" (14, 15, 16 or ping)";
	return transmission_error(t);
}
