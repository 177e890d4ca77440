#pragma once

#include <cctype>
#include <string>

#include "tools/station/listen_address.hh"

// Checks that keep other web sites away from the transmitter.

inline std::string lower_case(std::string text)
{
	for (char &c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
	return text;
}

inline bool is_ip_literal(const std::string &name)
{
	if (name.size() > 2 && name.front() == '[' && name.back() == ']') return true;
	return is_ipv4_literal(name);
}

// A Host header names this server: its port, and as the name "localhost",
// the listen address or an IP literal. A name that merely resolves here (DNS
// rebinding: a foreign site's name pointed at this machine) is refused, so
// that its pages can neither read the token nor send; an IP literal cannot
// be such a name.
inline bool host_allowed(const std::string &header, const ListenAddress &server)
{
	std::string host = lower_case(header), name, port = "80";
	size_t colon = host.rfind(':');
	if (!host.empty() && host.front() == '[') {
		size_t close = host.find(']');
		if (close == std::string::npos) return false;
		name = host.substr(0, close + 1);
		if (close + 1 < host.size()) {
			if (host[close + 1] != ':') return false;
			port = host.substr(close + 2);
		}
	} else if (colon != std::string::npos) {
		name = host.substr(0, colon);
		port = host.substr(colon + 1);
	} else {
		name = host;
	}
	if (port != std::to_string(server.port)) return false;
	std::string listen = lower_case(server.host);
	if (listen.find(':') != std::string::npos) listen = "[" + listen + "]";
	return name == "localhost" || name == listen || is_ip_literal(name);
}

// An Origin header, when the browser sent one, is this very page's.
inline bool origin_allowed(const std::string &origin, const std::string &host)
{
	return origin.empty() || lower_case(origin) == "http://" + lower_case(host);
}

// Compares in time independent of where the first difference is.
inline bool same_token(const std::string &given, const std::string &token)
{
	if (given.size() != token.size() || token.empty()) return false;
	unsigned char difference = 0;
	for (size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token[i]);
	return difference == 0;
}
