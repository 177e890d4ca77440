#include "tools/station/send_request.hh"

#include <nlohmann/json.hpp>

#include "modem/call_sign.hh"
#include "modem/encoder.hh"

bool parse_send_request(const std::string &body, Transmission &out, std::string &error)
{
	nlohmann::json request = nlohmann::json::parse(body, nullptr, false);
	if (request.is_discarded()) {
		error = "the body is not JSON";
		return false;
	}
	if (!request.is_object()) {
		error = "the body must be a JSON object with call, mode and payload";
		return false;
	}
	for (const auto &[key, value] : request.items()) {
		if (key != "call" && key != "mode" && key != "payload") {
			error = "unknown field \"" + key + "\": only call, mode and payload";
			return false;
		}
	}
	Transmission t;
	const auto call = request.find("call");
	if (call == request.end() || !call->is_string() || !encode_call_sign(call->get<std::string>().c_str()) ||
	    call->get<std::string>().find('\0') != std::string::npos) {
		error = "call must be 1 to 9 letters, digits and spaces, not all spaces";
		return false;
	}
	t.call = call->get<std::string>();
	const auto mode = request.find("mode");
	if (mode == request.end() || !mode->is_number_integer() ||
	    (mode->get<long>() != 0 && !Air::payload_bytes(int(mode->get<long>())))) {
		error = "mode must be 0 (ping), 14 (170 bytes), 15 (128 bytes) or 16 (85 bytes)";
		return false;
	}
	t.mode = int(mode->get<long>());
	const auto payload = request.find("payload");
	if (payload != request.end()) {
		if (!payload->is_string()) {
			error = "payload must be a string";
			return false;
		}
		t.payload = payload->get<std::string>();
	}
	size_t limit = Air::payload_bytes(t.mode);
	if (t.mode == 0 && !t.payload.empty()) {
		error = "a ping (mode 0) carries no payload";
		return false;
	}
	if (t.payload.size() > limit) {
		error = "payload of " + std::to_string(t.payload.size()) + " bytes is too long for mode " +
			std::to_string(t.mode) + " (at most " + std::to_string(limit) + ")";
		return false;
	}
	if (t.payload.find('\0') != std::string::npos) {
		error = "payload must not hold a zero byte";
		return false;
	}
	if (t.mode != 0 && t.payload.empty()) {
		error = "payload is empty: send a ping (mode 0) instead";
		return false;
	}
	out = std::move(t);
	error.clear();
	return true;
}
