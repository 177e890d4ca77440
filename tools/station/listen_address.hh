#pragma once

#include <cctype>
#include <string>

// Where the page is served: an IPv4 address or host name, or an IPv6
// address (written in brackets on the command line), and a TCP port.
struct ListenAddress
{
	std::string host = "127.0.0.1";
	int port = 8073;
};

// ADDR:PORT as --listen takes it: "0.0.0.0:8073", "[::1]:8080",
// "localhost:9000"; PORT 1 to 65535. False, with error set, otherwise.
inline bool parse_listen(const std::string &text, ListenAddress &out, std::string &error)
{
	error = "--listen wants ADDR:PORT (as 127.0.0.1:8073 or [::1]:8073), not \"" + text + "\"";
	size_t colon = text.rfind(':');
	if (colon == std::string::npos || colon == 0) return false;
	std::string host = text.substr(0, colon), port = text.substr(colon + 1);
	if (host.front() == '[') {
		if (host.size() < 3 || host.back() != ']') return false;
		host = host.substr(1, host.size() - 2);
	} else if (host.find(':') != std::string::npos) {
		return false;
	}
	for (char c : host)
		if (!(isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '_')) return false;
	if (port.empty() || port.size() > 5) return false;
	int number = 0;
	for (char c : port) {
		if (c < '0' || c > '9') return false;
		number = 10 * number + (c - '0');
	}
	if (number < 1 || number > 65535) return false;
	out = {host, number};
	error.clear();
	return true;
}

// Four dot-separated groups of one to three digits.
inline bool is_ipv4_literal(const std::string &host)
{
	int dots = 0, digits = 0;
	for (char c : host) {
		if (c == '.') {
			if (!digits) return false;
			++dots, digits = 0;
		} else if (c >= '0' && c <= '9') {
			if (++digits > 3) return false;
		} else {
			return false;
		}
	}
	return dots == 3 && digits;
}

// Loopback only: 127.0.0.0/8, ::1 and "localhost". Anything else is
// reachable from other machines, which the station says on stderr.
inline bool is_loopback(const std::string &host)
{
	if (host == "localhost" || host == "::1" || host == "0:0:0:0:0:0:0:1") return true;
	return host.rfind("127.", 0) == 0 && is_ipv4_literal(host);
}

// The warning for a page that other machines can reach; empty for loopback.
inline std::string listen_warning(const ListenAddress &where)
{
	if (is_loopback(where.host)) return {};
	return "the page at " + where.host + ":" + std::to_string(where.port) +
	       " can be reached from other machines: anyone who can load it can send";
}
