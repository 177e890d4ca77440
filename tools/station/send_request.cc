#include "tools/station/send_request.hh"

#include <nlohmann/json.hpp>

#include "tools/station/transmission_check.hh"

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
	if (call == request.end() || !call->is_string()) {
		error = "call must be a text of 1 to 9 letters, digits and spaces";
		return false;
	}
	t.call = call->get<std::string>();
	const auto mode = request.find("mode");
	if (mode == request.end() || !mode->is_number_integer() || mode->get<long>() < 0 || mode->get<long>() > 255) {
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
	error = transmission_error(t);
	if (!error.empty()) return false;
	out = std::move(t);
	error.clear();
	return true;
}
