#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <tuple>

#include "tests/program.hh"

namespace {

const std::string decode = DECODE_STREAM, encode = ENCODE_STREAM;
const std::string two_bursts =
    "EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:hi\n"
    "EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:there\n";

// Two clean bursts, "hi" and "there", for an 8000 Hz receiver of mapping 2.
std::string bursts(const std::string &options = "")
{
	return run_program(encode + " -r 8000 -m 2 -s 0.6 -L " + options, "hi\nthere\n").out;
}

TEST(DecodeStream, OptionsInEveryFormMeanTheSame)
{
	std::string input = bursts(), want = run_program(decode + " -t 8000 2", input).out;
	ASSERT_NE(want.find("EVENT:MESSAGE"), std::string::npos);
	for (const char *form :
	     {"8000 2 -t", "8000 -t 2", "--timestamps 8000 2", "--timestamps=position 8000 2", "-t -- 8000 2",
	      "-f lines -t 8000 2", "-flines -t 8000 2", "--format=lines 8000 --time 2"}) {
		ProgramResult r = run_program(decode + " " + form, input);
		EXPECT_EQ(r.out + r.err + std::to_string(r.status), want + "0") << form;
	}
}

TEST(DecodeStream, RefusalsNameWhatDoesNotFit)
{
	const std::tuple<const char *, int, const char *> cases[] = {
	    {"--frob", 2, "unknown option --frob (see --help)"},
	    {"-x 8000", 2, "unknown option -x (see --help)"},
	    {"8000 --format", 2, "option --format needs a value (see --help)"},
	    {"-f", 2, "option -f needs a value (see --help)"},
	    {"--version=2", 2, "option --version takes no value (see --help)"},
	    {"-f xml", 1, "invalid format xml (lines or json)"},
	    {"--timestamps=now", 1, "invalid timestamps now (position or wall)"},
	    {"-R 4000", 1, "invalid input rate 4000 (8000 to 192000 Hz)"},
	    {"8000 < /", 1, "standard input: Is a directory"},
	    {"-i /nonexistent", 1, "/nonexistent: No such file or directory"}};
	for (auto [arguments, status, message] : cases) {
		ProgramResult r = run_program(decode + " " + arguments, bursts());
		EXPECT_EQ(r.status, status) << arguments;
		EXPECT_EQ(r.out + r.err, "decode_stream: " + std::string(message) + "\n") << arguments;
	}
	// The rate is checked before the mapping, in the words scripts have always seen.
	for (auto [arguments, message] : {std::pair{"800 4", "Unsupported sample rate: 800"},
	                                  {"fast", "Unsupported sample rate: 0"},
	                                  {"-- -48000", "Unsupported sample rate: -48000"},
	                                  {"0 0", "Unsupported sample rate: 0"},
	                                  {"8000 3", "Unsupported mapping"},
	                                  {"8000 0", "Unsupported mapping"},
	                                  {"8000 anything", "Unsupported mapping"}}) {
		ProgramResult r = run_program(decode + " " + arguments, bursts());
		EXPECT_EQ(r.out + r.err + std::to_string(r.status), message + std::string("\n1")) << arguments;
	}
}

// A WAV stream on a pipe and as a file gives the lines of its raw samples;
// other sample formats decode, other rates are resampled (sox makes them),
// and channel counts that do not fit the selection are refused.
TEST(DecodeStream, InputsAsDocumented)
{
	TempDir dir;
	write_file(dir.file("raw"), bursts());
	write_file(dir.file("wav"), bursts("--wav"));
	write_file(dir.file("wav48"), run_program(encode + " --wav -m 2 -s 0.6 -L", "hi\nthere\n").out);
	auto resampling = [](const char *from, const char *to) {
		return "decode_stream: standard input: resampling " + std::string(from) + " Hz to " + to +
		       " Hz\n";
	};
	const std::string
	    refused = "decode_stream: standard input: ",
	    stereo = "stereo input does not fit channel selection 0 (mono): use 1 (left), 2 (right), 3 "
	             "(both averaged) or 4 (in-phase/quadrature)\n";
	const std::tuple<const char *, std::string, std::string> cases[] = {
	    {"DEC < RAW", two_bursts, ""},
	    {"cat WAV | DEC", two_bursts, ""},
	    {"DEC < WAV", two_bursts, ""},
	    {"DEC --input=WAV", two_bursts, ""},
	    {"sox -D WAV -b 8 -t wav - | DEC", two_bursts, ""},
	    {"sox WAV -e floating-point -b 32 -t wav - | DEC", two_bursts, ""},
	    {"sox WAV -b 24 -c 2 -t wav - | DEC 1", two_bursts, ""},
	    {"sox WAV -c 2 -t wav - | DEC", "", refused + stereo},
	    {"DEC 3 < WAV", "",
	     refused + "mono input does not fit channel selection 3, which reads two channels: use 0\n"},
	    {"sox WAV -r 12000 -t wav - | DEC", two_bursts, resampling("12000", "8000")},
	    {"sox WAV -r 22050 -t wav - | DEC", two_bursts, resampling("22050", "8000")},
	    {"sox WAV48 -r 44100 -t wav - | DEC48", two_bursts, resampling("44100", "48000")},
	    {"sox WAV48 -r 96000 -t wav - | DEC48", two_bursts, resampling("96000", "48000")},
	    {"sox WAV48 -r 44100 -t raw - | DEC48 -R 44100", two_bursts, resampling("44100", "48000")}};
	for (auto &[how, out, err] : cases) {
		std::string command = how;
		for (auto [from, to] : {std::pair{"DEC48", decode + " 48000 2"},
		                        {"DEC", decode + " 8000 2"},
		                        {"RAW", dir.file("raw")},
		                        {"WAV48", dir.file("wav48")},
		                        {"WAV", dir.file("wav")}})
			command = std::regex_replace(command, std::regex(from), to);
		ProgramResult r = run_program(command);
		EXPECT_EQ(std::regex_replace(r.out, std::regex("CFO:[0-9.]+"), "CFO:1500"), out) << how;
		EXPECT_EQ(r.err, err) << how;
		EXPECT_EQ(r.status, out.empty()) << how;
	}
}

// Silence of ten whole 180 ms periods in front moves every event by 1.800 s;
// each event comes within its burst, each message after it.
TEST(DecodeStream, TimestampsAreThePositionInTheInput)
{
	std::string input = bursts();
	std::istringstream first(run_program(decode + " -t 8000 2", input).out),
	    later(run_program(decode + " -t 8000 2", std::string(2 * 14400, '\0') + input).out);
	const double bounds[][2] = {{0.6, 2.4}, {2.4, 3.0}, {3.6, 5.4}, {5.4, 6.0}};
	std::smatch a, b;
	int n = 0;
	for (std::string x, y; std::getline(first, x) && std::getline(later, y); ++n) {
		std::regex line(R"((\d+\.\d{3}) (EVENT:.*))");
		ASSERT_TRUE(n < 4 && std::regex_match(x, a, line) && std::regex_match(y, b, line))
		    << x << " / " << y;
		EXPECT_EQ(a[2], b[2]);
		EXPECT_NEAR(std::stod(b[1]) - std::stod(a[1]), 1.8, 1e-9) << x;
		EXPECT_TRUE(std::stod(a[1]) > bounds[n][0] && std::stod(a[1]) <= bounds[n][1]) << x;
	}
	EXPECT_EQ(n, 4);
	std::string wall = run_program(decode + " --timestamps=wall 8000 2", input).out;
	EXPECT_TRUE(std::regex_match(
	    wall, std::regex(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z EVENT:[^\n]*\n){4})")))
	    << wall;
}

// JSON strings escape what JSON needs; the hex field keeps bytes that are
// not UTF-8, which the text shows as U+FFFD.
TEST(DecodeStream, JsonReadsBackIntoThePayloadBytes)
{
	TempDir dir;
	const std::string utf8 = "say \"gr\xc3\xbc\xc3\x9f\" \\ tab\t\r\nend\x01\x7f",
	                  other = "\xff\xfe ok \xc3";
	write_file(dir.file("a"), utf8 + "\n");
	write_file(dir.file("b"), other);
	write_file(dir.file("read.py"), "import json, sys\n"
	                                "for line in sys.stdin:\n"
	                                "    o = json.loads(line)\n"
	                                "    print(o['kind'], o.get('call'), o.get('payload', "
	                                "'').encode().hex(), o.get('payload_hex'))\n");
	std::string send = encode + " -r 8000 -m 2 -s 0.6 < ";
	ProgramResult r =
	    run_program("{ " + send + dir.file("a") + "; " + send + dir.file("b") + "; } | " + decode +
	                " --format=json 8000 2 | /usr/bin/python3 " + dir.file("read.py"));
	auto hex = [](const std::string &s) {
		std::string h;
		for (unsigned char c : s) h += "0123456789abcdef"[c >> 4], h += "0123456789abcdef"[c & 15];
		return h;
	};
	EXPECT_EQ(r.out + r.err, "SYNC N0CALL  None\nMESSAGE None " + hex(utf8) + " " + hex(utf8) +
	                             "\nSYNC N0CALL  None\n" + "MESSAGE None " +
	                             hex("\xef\xbf\xbd\xef\xbf\xbd ok \xef\xbf\xbd") + " " + hex(other) +
	                             "\n");
}

// Listening for any mapping, bursts of all three come out as the receivers of
// their mappings print them, each MESSAGE once, its JSON with the mapping.
TEST(DecodeStream, AnyMappingHearsEveryMapping)
{
	std::string input, lines;
	for (const char *mapping : {"2", "8", "4"}) {
		std::string burst = run_program(encode + " -r 8000 -s 0.6 -t hi -m " + mapping).out;
		input += burst;
		lines += run_program(decode + " 8000 " + mapping, burst).out;
	}
	EXPECT_EQ(run_program(decode + " 8000 any", input).out, lines);
	std::string json = run_program(decode + " -f json 8000 any", input).out, mappings;
	std::smatch m;
	const std::regex message("\"kind\":\"(\\w+)\".*\"mapping\":(\\d)");
	for (std::string rest = json; std::regex_search(rest, m, message); rest = m.suffix())
		mappings += m[1].str() + m[2].str() + " ";
	EXPECT_EQ(mappings, "MESSAGE2 MESSAGE8 MESSAGE4 ") << json;
}

// What every program shares: --version, --help, and write errors (a full
// disk, a closed pipe) that end it with a message and status 1.
TEST(Programs, VersionHelpAndWriteErrors)
{
	const std::string channel = BURST_CHANNEL, waterfall = BURST_WATERFALL, input = bursts();
	for (auto &[program, name] : {std::pair{decode, "decode_stream"},
	                              {encode, "encode_stream"},
	                              {channel, "burst_channel"},
	                              {waterfall, "burst_waterfall"}}) {
		for (const char *flag : {" -V", " --version"}) {
			ProgramResult r = run_program(program + flag);
			EXPECT_EQ(r.out.rfind(std::string(name) + " (ofdm_burst) 1.0.0", 0) + r.status, 0u)
			    << r.out;
			EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
		}
		EXPECT_EQ(run_program(program + " -h").out.rfind("Usage: " + std::string(name) + " ", 0), 0u)
		    << name;
		EXPECT_EQ(run_program(program + " --help", "", "/dev/full").err,
		          std::string(name) + ": standard output: No space left on device\n");
	}
	for (const std::string &command : {decode + " 8000 2", encode + " -t hi", encode + " --wav -t hi",
	                                   channel + " -r 8000", waterfall + " -o - 8000 2"}) {
		std::string name =
		    command.substr(command.rfind('/') + 1, command.find(' ') - command.rfind('/') - 1);
		ProgramResult full = run_program(command, input, "/dev/full");
		EXPECT_EQ(full.err + std::to_string(full.status),
		          name + ": standard output: No space left on device\n1")
		    << command;
		// More than a pipe holds: the writer is still writing when the reader is gone.
		if (name == "encode_stream" || name == "channel") {
			EXPECT_EQ(run_program("{ " + command + "; echo $? >&2; } | true", input).err,
			          name + ": standard output: Broken pipe\n1\n");
		}
	}
}

TEST(DecodeStream, ReceiverIsRebuiltAfterAFailedAllocation)
{
	const std::string one = two_bursts.substr(0, two_bursts.find("hi\n") + 3);
	std::string burst = run_program(encode + " -r 8000 -m 2 -s 0.6 -t hi").out;
	// The first receiver is missing: its blocks are dropped, the next one
	// takes both bursts, and nothing more is allocated: the receiver forgets
	// a burst in place.
	ProgramResult r = run_program(
	    "FAIL_ALLOCATIONS=1,3 " + std::string(DECODE_STREAM_FAILING_NEW) + " 8000 2", burst + burst);
	EXPECT_EQ(r.out + std::to_string(r.status), "EVENT:HEAP_ERROR\n" + one + one + "0");
	// Any mapping's three receivers are replaced together, also when the
	// second one of a set is missing.
	ProgramResult any = run_program(
	    "FAIL_ALLOCATIONS=2,4 " + std::string(DECODE_STREAM_FAILING_NEW) + " 8000 any", burst + burst);
	EXPECT_EQ(any.out + std::to_string(any.status), "EVENT:HEAP_ERROR\n" + one + one + "0");
	// However often the retry fails, the failure is reported once.
	for (const char *fail : {"1", "1,2", "1,2,3,4,5"}) {
		ProgramResult quiet = run_program("FAIL_ALLOCATIONS=" + std::string(fail) + " " +
		                                  DECODE_STREAM_FAILING_NEW + " 8000 2", std::string(16000, '\0'));
		EXPECT_EQ(quiet.out + quiet.err + std::to_string(quiet.status), "EVENT:HEAP_ERROR\n0") << fail;
	}
}

}
