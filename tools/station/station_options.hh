#pragma once

#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

#include "modem/encoder.hh"
#include "stream/make_decoder.hh"
#include "tools/cli/command_line.hh"
#include "tools/io/audio_input.hh"
#include "tools/io/timestamps.hh"
#include "tools/station/listen_address.hh"

// Everything burst_station is told on its command line.
struct StationOptions
{
	int rate = 48000, mapping = any_mapping, channel = 0;
	Demodulator demodulator = Demodulator::reference;
	bool json = false;
	Timestamps timestamps = Timestamps::NONE;

	InputOptions input; // --input: a file or - instead of a capture device
	bool from_file = false, realtime = false;
	std::string device = "default", output_device; // output_device empty: none
	std::string audio_out;                          // WAV of what is played
	bool list_devices = false;
	double duration = 0; // seconds of input after which to stop; 0 never
	double buffer = 2;   // seconds of input that may wait for the receiver

	std::string log, send_fifo;
	ListenAddress listen;
	bool web = true;

	int rig = 0; // Hamlib model; 0 none
	std::string rig_port, ptt = "none", ptt_port;
	long tx_delay = 300, tx_tail = 100; // ms
	double tx_limit = 10;               // s
	double tx_freq = 1500, tx_level = -18;
	int tx_mapping = 0; // 0: MAPPING, or 4 when that is any

	bool help = false, version = false;
	std::string error;
	int status = EXIT_DONE;
};

inline StationOptions parse_station_options(int argc, char **argv)
{
	enum
	{
		REALTIME = 256, LIST, DURATION, BUFFER, LISTEN, NO_WEB, FIFO, RIG, RIG_PORT, PTT, PTT_PORT,
		TX_DELAY, TX_TAIL, TX_LIMIT, TX_FREQ, TX_LEVEL, TX_MAPPING,
	};
	static const option options[] = {
		{"input", required_argument, nullptr, 'i'},      {"input-rate", required_argument, nullptr, 'R'},
		{"realtime", no_argument, nullptr, REALTIME},    {"device", required_argument, nullptr, 'D'},
		{"output-device", required_argument, nullptr, 'O'}, {"audio-out", required_argument, nullptr, 'a'},
		{"list-devices", no_argument, nullptr, LIST},    {"duration", required_argument, nullptr, DURATION},
		{"buffer", required_argument, nullptr, BUFFER},  {"timestamps", optional_argument, nullptr, 't'},
		{"format", required_argument, nullptr, 'f'},     {"demod", required_argument, nullptr, 'd'},
		{"log", required_argument, nullptr, 'l'},        {"listen", required_argument, nullptr, LISTEN},
		{"no-web", no_argument, nullptr, NO_WEB},        {"send-fifo", required_argument, nullptr, FIFO},
		{"rig", required_argument, nullptr, RIG},        {"rig-port", required_argument, nullptr, RIG_PORT},
		{"ptt", required_argument, nullptr, PTT},        {"ptt-port", required_argument, nullptr, PTT_PORT},
		{"tx-delay", required_argument, nullptr, TX_DELAY}, {"tx-tail", required_argument, nullptr, TX_TAIL},
		{"tx-limit", required_argument, nullptr, TX_LIMIT}, {"tx-freq", required_argument, nullptr, TX_FREQ},
		{"tx-level", required_argument, nullptr, TX_LEVEL}, {"tx-mapping", required_argument, nullptr, TX_MAPPING},
		{"help", no_argument, nullptr, 'h'},
		{"version", no_argument, nullptr, 'V'},          {nullptr, 0, nullptr, 0}};
	StationOptions o;
	auto refuse = [&o](const std::string &message, int status = EXIT_REFUSED) {
		o.error = message, o.status = status;
		return o;
	};
	auto invalid = [&](int letter, const char *range) {
		const char *name = "";
		for (const option *p = options; p->name; ++p)
			if (p->val == letter) name = p->name;
		return refuse(std::string("invalid value for --") + name + ": " + optarg + " (" + range + ")");
	};
	optind = 0;
	opterr = 0;
	long number;
	for (int c; (c = getopt_long(argc, argv, ":i:R:D:O:a:t::f:d:l:hV", options, nullptr)) != -1;) {
		switch (c) {
		case 'h': o.help = true; return o;
		case 'V': o.version = true; return o;
		case 'i':
			o.from_file = true;
			o.input.path = std::strcmp(optarg, "-") ? optarg : nullptr;
			break;
		case 'R':
			if (!parse_number(optarg, &o.input.rate) || o.input.rate < lowest_input_rate ||
			    o.input.rate > highest_input_rate)
				return invalid(c, "8000 to 192000 Hz");
			break;
		case REALTIME: o.realtime = true; break;
		case 'D': o.device = optarg; break;
		case 'O': o.output_device = optarg; break;
		case 'a': o.audio_out = optarg; break;
		case LIST: o.list_devices = true; break;
		case DURATION:
			if (!parse_number(optarg, &o.duration) || o.duration <= 0) return invalid(c, "seconds above 0");
			break;
		case BUFFER:
			if (!parse_number(optarg, &o.buffer) || o.buffer < 0.1 || o.buffer > 600)
				return invalid(c, "0.1 to 600 seconds");
			break;
		case 't':
			if (!optarg || !std::strcmp(optarg, "position")) o.timestamps = Timestamps::POSITION;
			else if (!std::strcmp(optarg, "wall")) o.timestamps = Timestamps::WALL;
			else return invalid(c, "position or wall");
			break;
		case 'f':
			if (std::strcmp(optarg, "lines") && std::strcmp(optarg, "json")) return invalid(c, "lines or json");
			o.json = !std::strcmp(optarg, "json");
			break;
		case 'd':
			if (!std::strcmp(optarg, "enhanced")) o.demodulator = Demodulator::enhanced;
			else if (std::strcmp(optarg, "reference")) return invalid(c, "reference or enhanced");
			break;
		case 'l': o.log = optarg; break;
		case LISTEN: {
			std::string why;
			if (!parse_listen(optarg, o.listen, why)) return refuse(why);
			break;
		}
		case NO_WEB: o.web = false; break;
		case FIFO: o.send_fifo = optarg; break;
		case RIG:
			if (!parse_number(optarg, &number) || number < 1 || number > 99999) return invalid(c, "a Hamlib model number");
			o.rig = int(number);
			break;
		case RIG_PORT: o.rig_port = optarg; break;
		case PTT:
			if (std::strcmp(optarg, "rts") && std::strcmp(optarg, "dtr") && std::strcmp(optarg, "none"))
				return invalid(c, "rts, dtr or none");
			o.ptt = optarg;
			break;
		case PTT_PORT: o.ptt_port = optarg; break;
		case TX_DELAY:
			if (!parse_number(optarg, &o.tx_delay) || o.tx_delay < 0 || o.tx_delay > 10000)
				return invalid(c, "0 to 10000 ms");
			break;
		case TX_TAIL:
			if (!parse_number(optarg, &o.tx_tail) || o.tx_tail < 0 || o.tx_tail > 10000)
				return invalid(c, "0 to 10000 ms");
			break;
		case TX_LIMIT:
			if (!parse_number(optarg, &o.tx_limit) || o.tx_limit <= 0 || o.tx_limit > 600)
				return invalid(c, "above 0 to 600 seconds");
			break;
		case TX_FREQ:
			if (!parse_number(optarg, &o.tx_freq)) return invalid(c, "a frequency in Hz");
			break;
		case TX_LEVEL:
			if (!parse_number(optarg, &o.tx_level) || o.tx_level > 0 || o.tx_level < -100)
				return invalid(c, "-100 to 0 dBFS");
			break;
		case TX_MAPPING:
			if (!parse_number(optarg, &number) || (number != 2 && number != 4 && number != 8))
				return invalid(c, "2, 4 or 8");
			o.tx_mapping = int(number);
			break;
		default: return refuse(option_error(c, argv, options), EXIT_USAGE);
		}
	}
	int *positional[] = {&o.rate, &o.mapping, &o.channel};
	for (int i = 0; i < 3 && optind + i < argc; ++i) *positional[i] = std::atoi(argv[optind + i]);
	// Only the word: a mapping that atoi reads as 0 stays refused.
	bool any = optind + 1 >= argc || !std::strcmp(argv[optind + 1], "any");
	if (any) o.mapping = any_mapping;
	if (!o.tx_mapping) o.tx_mapping = any ? 4 : o.mapping;
	if (o.rig && o.ptt != "none") return refuse("--rig and --ptt both key the transmitter: choose one", EXIT_USAGE);
	if (o.ptt != "none" && o.ptt_port.empty()) return refuse("--ptt " + o.ptt + " needs --ptt-port DEVICE", EXIT_USAGE);
	switch (check_variant(o.rate, any ? 4 : o.mapping)) {
	case STREAM_BAD_RATE: return refuse("unsupported sample rate " + std::to_string(o.rate) + " (8000 or 48000)");
	case STREAM_BAD_MAPPING: return refuse("unsupported mapping " + std::to_string(o.mapping) + " (2, 4, 8 or any)");
	default: break;
	}
	double low = o.tx_freq + Encoder<8000, 4>::lowest_offset, high = o.tx_freq + Encoder<8000, 4>::highest_offset;
	if (low <= 0 || high >= o.rate / 2.0)
		return refuse("--tx-freq " + std::to_string(o.tx_freq) + " puts carriers outside 0 to " +
			      std::to_string(o.rate / 2) + " Hz");
	return o;
}
