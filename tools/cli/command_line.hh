#pragma once

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

#include "stream/make_decoder.hh"
#include "tools/cli/program_version.hh"

// Exit statuses of every program: 0 done; 1 refused (a value, an input or
// an output that does not fit, a read or write error, no memory); 2 a
// command line that cannot be parsed (unknown option, missing value).
enum ExitStatus
{
	EXIT_DONE = 0,
	EXIT_REFUSED = 1,
	EXIT_USAGE = 2,
};

// The name every message starts with.
inline const char *program_name = "";

// A closed pipe becomes a write error with a message rather than a silent
// death by SIGPIPE.
inline void start_program(const char *name)
{
	program_name = name;
	std::signal(SIGPIPE, SIG_IGN);
}

[[noreturn]] inline void fail(const std::string &message, int status = EXIT_REFUSED, bool named = true)
{
	if (named)
		std::fprintf(stderr, "%s: %s\n", program_name, message.c_str());
	else
		std::fprintf(stderr, "%s\n", message.c_str());
	std::exit(status);
}

// The text of errno after a failed system call, as "what: reason".
inline std::string system_error(const std::string &what) { return what + ": " + std::strerror(errno); }

// Ends the program after --help or --version: the text must reach its reader.
[[noreturn]] inline void print_and_exit(const std::string &text)
{
	if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout)) fail(system_error("standard output"));
	std::exit(EXIT_DONE);
}

inline std::string version_text()
{
	std::string git = PROGRAM_GIT;
	return std::string(program_name) + " (ofdm_burst) " + PROGRAM_VERSION + (git.empty() ? "" : " git " + git) +
	       ", receivers for " + decoder_isa() + "\n";
}

// The message for what getopt_long returned as '?' or ':' (with opterr 0
// and an option string that starts with ':'), naming the option as it was
// written. A short option's error may come in the middle of a group such
// as -xvf, where argv[optind - 1] is not the group: only a long option's
// error is read from there.
// A value getopt_long handed over for option (its short letter) that is
// out of range: names the long option, the value and what it may be.
[[noreturn]] inline void bad_value(const option *options, int letter, const char *range)
{
	const char *name = "";
	for (const option *o = options; o->name; ++o)
		if (o->val == letter) name = o->name;
	fail(std::string("invalid value for --") + name + ": " + optarg + " (" + range + ")");
}

inline std::string option_error(int result, char **argv, const option *options)
{
	const char *arg = argv[optind - 1];
	std::string written(arg, std::strcspn(arg, "="));
	const option *known = nullptr;
	if (written.size() > 2 && written.compare(0, 2, "--") == 0)
		for (const option *o = options; o->name; ++o)
			if (o->val == optopt && std::strncmp(o->name, arg + 2, written.size() - 2) == 0) known = o;
	std::string short_name = std::string("-") + char(optopt);
	if (result == ':') return "option " + (known ? written : short_name) + " needs a value (see --help)";
	if (!optopt) return "unknown option " + written + " (see --help)";
	if (known) return "option " + written + " takes no value (see --help)";
	return "unknown option " + short_name + " (see --help)";
}

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
