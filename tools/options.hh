#pragma once

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

// A bad command line or input: the message for standard error.
struct Failure
{
	std::string message;
};

// Command-line options of the form "--name value" or "--name=value".
class Options
{
	int argc, index = 1;
	char **argv;
	const char *attached = nullptr;

public:
	std::string name;

	Options(int argc, char **argv) : argc(argc), argv(argv) {}

	// Moves to the next option; false when the arguments are exhausted. An
	// argument that does not start with "--" becomes an option named by itself,
	// which no caller knows, so it ends up reported as unknown.
	bool next()
	{
		if (index >= argc) return false;
		const char *arg = argv[index++];
		const char *equals = std::strncmp(arg, "--", 2) == 0 ? std::strchr(arg, '=') : nullptr;
		name = equals ? std::string(arg, equals) : std::string(arg);
		attached = equals ? equals + 1 : nullptr;
		return true;
	}

	// The option's value, or nullptr when it has none.
	const char *value()
	{
		if (attached) return std::exchange(attached, nullptr);
		return index < argc ? argv[index++] : nullptr;
	}

	// The option's value; its absence is a Failure.
	const char *required()
	{
		if (const char *v = value()) return v;
		throw Failure{name + " needs a value"};
	}

	// True when "--name=value" gave a value to an option that takes none.
	bool has_attached_value() const { return attached; }
};

// The whole of text as a number: false for empty text, trailing characters,
// values out of range and non-finite values.
inline bool parse_number(const char *text, long *out)
{
	if (!text || !*text) return false;
	char *end;
	errno = 0;
	long v = std::strtol(text, &end, 10);
	if (*end || errno) return false;
	*out = v;
	return true;
}

inline bool parse_number(const char *text, double *out)
{
	if (!text || !*text) return false;
	char *end;
	errno = 0;
	double v = std::strtod(text, &end);
	if (*end || errno || !std::isfinite(v)) return false;
	*out = v;
	return true;
}

// Two numbers "A:B".
inline bool parse_pair(const char *text, double *a, double *b)
{
	if (!text) return false;
	const char *colon = std::strchr(text, ':');
	if (!colon) return false;
	return parse_number(std::string(text, colon).c_str(), a) && parse_number(colon + 1, b);
}
