#pragma once

#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

#include "stream/make_decoder.hh"
#include "tools/io/audio_input.hh"
#include "tools/cli/command_line.hh"
#include "tools/io/timestamps.hh"

// The command line of the programs that run a receiver, decode_stream and
// waterfall: options anywhere, and up to three positional numbers RATE,
// MAPPING and CHANNEL read as atoi reads them (further ones are ignored);
// MAPPING may also be the word any (any_mapping).
struct ReceiverOptions
{
	int rate = 48000, mapping = 4, channel = 0;
	InputOptions input;
	bool json = false;                         // decode_stream --format json
	Timestamps timestamps = Timestamps::NONE;  // decode_stream --timestamps
	const char *out = nullptr;                 // waterfall --out; "-" for standard output
	long max_rows = 8192;                      // waterfall --max-rows
	Demodulator demodulator = Demodulator::reference; // --demod
	bool help = false, version = false;
	std::string error;                         // why the command line is refused
	bool named = true;                         // error goes after the program's name
	int status = EXIT_DONE;                    // the exit status that goes with error
};

// Reads argv without printing or exiting, so that a test of the command
// line can ask what a program will make of it.
inline ReceiverOptions parse_receiver_options(int argc, char **argv, bool waterfall)
{
	static const option decode_options[] = {
		{"input", required_argument, nullptr, 'i'},  {"input-rate", required_argument, nullptr, 'R'},
		{"timestamps", optional_argument, nullptr, 't'}, {"format", required_argument, nullptr, 'f'},
		{"demod", required_argument, nullptr, 'd'},
		{"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'V'},
		{nullptr, 0, nullptr, 0}};
	static const option waterfall_options[] = {
		{"input", required_argument, nullptr, 'i'}, {"input-rate", required_argument, nullptr, 'R'},
		{"out", required_argument, nullptr, 'o'},   {"max-rows", required_argument, nullptr, 'n'},
		{"demod", required_argument, nullptr, 'd'},
		{"help", no_argument, nullptr, 'h'},        {"version", no_argument, nullptr, 'V'},
		{nullptr, 0, nullptr, 0}};
	const option *options = waterfall ? waterfall_options : decode_options;
	const char *letters = waterfall ? ":i:R:o:n:d:hV" : ":i:R:t::f:d:hV";
	ReceiverOptions o;
	auto refuse = [&o](const std::string &message, int status) {
		o.error = message, o.status = status;
		return o;
	};
	optind = 0; // a fresh scan, also for a caller that parses again
	opterr = 0;
	for (int c; (c = getopt_long(argc, argv, letters, options, nullptr)) != -1;) {
		switch (c) {
		case 'h': o.help = true; return o;
		case 'V': o.version = true; return o;
		case 'i': o.input.path = optarg; break;
		case 'R':
			if (!parse_number(optarg, &o.input.rate) || o.input.rate < lowest_input_rate ||
			    o.input.rate > highest_input_rate)
				return refuse(std::string("invalid input rate ") + optarg + " (8000 to 192000 Hz)", EXIT_REFUSED);
			break;
		case 't':
			if (!optarg || !std::strcmp(optarg, "position")) o.timestamps = Timestamps::POSITION;
			else if (!std::strcmp(optarg, "wall")) o.timestamps = Timestamps::WALL;
			else return refuse(std::string("invalid timestamps ") + optarg + " (position or wall)", EXIT_REFUSED);
			break;
		case 'f':
			if (std::strcmp(optarg, "lines") && std::strcmp(optarg, "json"))
				return refuse(std::string("invalid format ") + optarg + " (lines or json)", EXIT_REFUSED);
			o.json = !std::strcmp(optarg, "json");
			break;
		case 'd':
			if (!std::strcmp(optarg, "enhanced")) o.demodulator = Demodulator::enhanced;
			else if (std::strcmp(optarg, "reference"))
				return refuse(std::string("invalid demodulator ") + optarg + " (reference or enhanced)", EXIT_REFUSED);
			break;
		case 'o':
			if (!*optarg) return refuse("--out needs a file name, or - for standard output", EXIT_USAGE);
			o.out = optarg;
			break;
		case 'n':
			if (!parse_number(optarg, &o.max_rows) || o.max_rows < 2 || o.max_rows > 1000000)
				return refuse(std::string("invalid row count ") + optarg + " (2 to 1000000)", EXIT_REFUSED);
			break;
		default: return refuse(option_error(c, argv, options), EXIT_USAGE);
		}
	}
	int *positional[] = {&o.rate, &o.mapping, &o.channel};
	for (int i = 0; i < 3 && optind + i < argc; ++i) *positional[i] = std::atoi(argv[optind + i]);
	// Only the word: a mapping that atoi reads as 0 stays refused.
	bool any = optind + 1 < argc && !std::strcmp(argv[optind + 1], "any");
	if (any) o.mapping = any_mapping;
	if (waterfall && !o.out) return refuse("--out FILE is required (see --help)", EXIT_USAGE);
	switch (check_variant(o.rate, any ? 4 : o.mapping)) {
	// Scripts have always seen these two exactly so.
	case STREAM_BAD_RATE:
		o.named = false;
		return refuse("Unsupported sample rate: " + std::to_string(o.rate), EXIT_REFUSED);
	case STREAM_BAD_MAPPING:
		o.named = false;
		return refuse("Unsupported mapping", EXIT_REFUSED);
	default: return o;
	}
}
