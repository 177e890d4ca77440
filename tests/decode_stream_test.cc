#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "tests/program.hh"

namespace {

const std::string decode = DECODE_STREAM, encode = ENCODE_STREAM;
const std::string two_bursts = "EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:hi\n"
			       "EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:there\n";

// Two clean bursts, "hi" and "there", for an 8000 Hz receiver of mapping 2.
std::string bursts(const std::string &options = "")
{
	return run_program(encode + " -r 8000 -m 2 -s 0.6 -L " + options, "hi\nthere\n").out;
}

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
	for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
	return text;
}

TEST(DecodeStream, OptionsInEveryFormMeanTheSame)
{
	std::string input = bursts(), want = run_program(decode + " -t 8000 2", input).out;
	ASSERT_NE(want.find("EVENT:MESSAGE"), std::string::npos);
	for (const char *form : {"8000 2 -t", "8000 -t 2", "--timestamps 8000 2", "--timestamps=position 8000 2",
				 "-t -- 8000 2", "-f lines -t 8000 2", "-flines -t 8000 2", "--format=lines 8000 --time 2"}) {
		ProgramResult r = run_program(decode + " " + form, input);
		EXPECT_EQ(r.status, 0) << form;
		EXPECT_EQ(r.out + r.err, want) << form;
	}
}

TEST(DecodeStream, RefusalsNameWhatDoesNotFit)
{
	struct Case
	{
		const char *arguments;
		int status;
		const char *message;
	} cases[] = {{"--frob", 2, "unknown option --frob (see --help)"},
		     {"-x 8000", 2, "unknown option -x (see --help)"},
		     {"8000 --format", 2, "option --format needs a value (see --help)"},
		     {"-f", 2, "option -f needs a value (see --help)"},
		     {"--version=2", 2, "option --version takes no value (see --help)"},
		     {"-f xml", 1, "invalid format xml (lines or json)"},
		     {"--timestamps=now", 1, "invalid timestamps now (position or wall)"},
		     {"-R 4000", 1, "invalid input rate 4000 (8000 to 192000 Hz)"},
		     {"800 4", 1, "unsupported sample rate 800 (8000 or 48000)"},
		     {"fast", 1, "unsupported sample rate 0 (8000 or 48000)"},
		     {"-- -48000", 1, "unsupported sample rate -48000 (8000 or 48000)"},
		     {"8000 3", 1, "unsupported mapping 3 (2, 4 or 8)"},
		     {"8000 < /", 1, "standard input: Is a directory"},
		     {"-i /nonexistent", 1, "/nonexistent: No such file or directory"}};
	for (const Case &c : cases) {
		ProgramResult r = run_program(decode + " " + c.arguments, bursts());
		EXPECT_EQ(r.status, c.status) << c.arguments;
		EXPECT_EQ(r.err, "decode_stream: " + std::string(c.message) + "\n") << c.arguments;
		EXPECT_EQ(r.out, "") << c.arguments;
	}
}

TEST(DecodeStream, WavOnAPipeOrAsAFileGivesTheLinesOfTheRawSamples)
{
	TempDir dir;
	write_file(dir.file("b.wav"), bursts("--wav"));
	EXPECT_EQ(run_program(decode + " 8000 2", bursts()).out, two_bursts);
	for (const char *how : {"cat F | D", "D < F", "D -i F", "D --input=F"}) {
		ProgramResult r = run_program(replaced(replaced(how, "F", dir.file("b.wav")), "D", decode + " 8000 2"));
		EXPECT_EQ(r.status, 0) << how;
		EXPECT_EQ(r.out + r.err, two_bursts) << how;
	}
}

// The rate of a recording is changed by sox; decode_stream changes it back.
TEST(DecodeStream, RecordingsAtOtherRatesAreResampled)
{
	TempDir dir;
	struct Case
	{
		int made, stored;
		const char *format;
	} cases[] = {{8000, 12000, "-t wav"}, {8000, 22050, "-t wav"}, {48000, 44100, "-t wav"},
		     {48000, 96000, "-t wav"}, {48000, 44100, "-t raw -e signed -b 16"}};
	for (auto [made, stored, format] : cases) {
		std::string command = encode + " --wav -m 2 -s 0.6 -L -r " + std::to_string(made) + " | sox -t wav - -r " +
				      std::to_string(stored) + " " + format + " - | " + decode + " " + std::to_string(made) +
				      " 2" + (format[3] == 'r' ? " -R " + std::to_string(stored) : "");
		ProgramResult r = run_program(command, "hi\nthere\n");
		EXPECT_EQ(r.status, 0) << command;
		EXPECT_EQ(std::regex_replace(r.out, std::regex("CFO:[0-9.]+"), "CFO:1500"), two_bursts) << command;
		EXPECT_EQ(r.err, "decode_stream: standard input: resampling " + std::to_string(stored) + " Hz to " +
				     std::to_string(made) + " Hz\n");
	}
}

TEST(DecodeStream, SampleFormatsAndChannelCountsAsDocumented)
{
	struct Case
	{
		const char *sox, *selection, *out, *err;
	} cases[] = {{"-b 8", "0", two_bursts.c_str(), ""},
		     {"-e floating-point -b 32", "0", two_bursts.c_str(), ""},
		     {"-b 24 -c 2", "1", two_bursts.c_str(), ""},
		     {"-c 2", "0", "",
		      "decode_stream: standard input: stereo input does not fit channel selection 0 (mono): use 1 (left), "
		      "2 (right), 3 (both averaged) or 4 (in-phase/quadrature)\n"},
		     {"-c 1", "3", "",
		      "decode_stream: standard input: mono input does not fit channel selection 3, which reads two "
		      "channels: use 0\n"}};
	for (auto [sox, selection, out, err] : cases) {
		std::string command = "sox -D -t wav - " + std::string(sox) + " -t wav - | " + decode + " 8000 2 " + selection;
		ProgramResult r = run_program(command, bursts("--wav"));
		EXPECT_EQ(r.status, *err ? 1 : 0) << sox;
		EXPECT_EQ(std::regex_replace(r.out, std::regex("CFO:[0-9.]+"), "CFO:1500"), out) << sox;
		EXPECT_EQ(r.err, err) << sox;
	}
}

// Silence of ten whole 180 ms periods in front moves every event by 1.800 s.
TEST(DecodeStream, TimestampsAreThePositionInTheInput)
{
	std::string input = bursts(), silence(2 * 14400, '\0');
	ProgramResult first = run_program(decode + " -t 8000 2", input),
		      later = run_program(decode + " -t 8000 2", silence + input);
	std::regex line(R"((\d+\.\d{3}) (EVENT:.*))");
	std::smatch a, b;
	// Each burst of 1.8 s has 0.6 s of silence on each side; its message
	// comes once the burst is over.
	const double bounds[][2] = {{0.6, 2.4}, {2.4, 3.0}, {3.6, 5.4}, {5.4, 6.0}};
	std::istringstream x(first.out), y(later.out);
	int lines = 0;
	for (std::string l, m; std::getline(x, l) && std::getline(y, m); ++lines) {
		ASSERT_TRUE(std::regex_match(l, a, line) && std::regex_match(m, b, line)) << l << " / " << m;
		EXPECT_EQ(a[2], b[2]);
		EXPECT_NEAR(std::stod(b[1]) - std::stod(a[1]), 1.8, 1e-9) << l;
		EXPECT_GT(std::stod(a[1]), bounds[lines][0]) << l;
		EXPECT_LE(std::stod(a[1]), bounds[lines][1]) << l;
	}
	EXPECT_EQ(lines, 4);
	ProgramResult wall = run_program(decode + " --timestamps=wall 8000 2", input);
	EXPECT_TRUE(std::regex_match(wall.out, std::regex(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z EVENT:[^\n]*\n){4})")))
	    << wall.out;
}

// JSON strings escape what JSON needs; the hex field keeps bytes that are
// not UTF-8, which the text shows as U+FFFD.
TEST(DecodeStream, JsonReadsBackIntoThePayloadBytes)
{
	TempDir dir;
	const std::string utf8 = "say \"gr\xc3\xbc\xc3\x9f\" \\ tab\t\r\nend\x01\x7f", other = "\xff\xfe ok \xc3";
	write_file(dir.file("a"), utf8 + "\n");
	write_file(dir.file("b"), other);
	std::string send = encode + " -r 8000 -m 2 -s 0.6 < ";
	write_file(dir.file("read.py"), "import json, sys\n"
					"for line in sys.stdin:\n"
					"    o = json.loads(line)\n"
					"    print(o['kind'], o.get('call'), o.get('payload', '').encode().hex(), o.get('payload_hex'))\n");
	ProgramResult r = run_program("{ " + send + dir.file("a") + "; " + send + dir.file("b") + "; } | " + decode +
				      " --format=json 8000 2 | /usr/bin/python3 " + dir.file("read.py"));
	auto hex = [](const std::string &s) {
		std::string h;
		for (unsigned char c : s) h += "0123456789abcdef"[c >> 4], h += "0123456789abcdef"[c & 15];
		return h;
	};
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.out, "SYNC N0CALL  None\nMESSAGE None " + hex(utf8) + " " + hex(utf8) + "\nSYNC N0CALL  None\nMESSAGE None " +
			     hex("\xef\xbf\xbd\xef\xbf\xbd ok \xef\xbf\xbd") + " " + hex(other) + "\n");
}

// What every program shares: --version, --help, and write errors (a full
// disk, a closed pipe) that end it with a message and status 1.
TEST(Programs, VersionHelpAndWriteErrors)
{
	const std::string channel = CHANNEL, waterfall = WATERFALL, input = bursts();
	const std::pair<std::string, std::string> programs[] = {
		{decode, "decode_stream"}, {encode, "encode_stream"}, {channel, "channel"}, {waterfall, "waterfall"}};
	for (auto &[program, name] : programs) {
		for (const char *flag : {" -V", " --version"}) {
			ProgramResult r = run_program(program + flag);
			EXPECT_EQ(r.status, 0) << name;
			EXPECT_EQ(r.out.rfind(name + " (ofdm_burst) 1.0.0", 0), 0u) << r.out;
			EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
		}
		EXPECT_EQ(run_program(program + " -h").out.rfind("Usage: " + name + " ", 0), 0u) << name;
		ProgramResult full = run_program(program + " --help", "", "/dev/full");
		EXPECT_EQ(full.status, 1) << name;
		EXPECT_EQ(full.err, name + ": standard output: No space left on device\n");
	}
	const std::string working[] = {decode + " 8000 2", encode + " -t hi", encode + " --wav -t hi", channel + " -r 8000",
				       waterfall + " -o - 8000 2"};
	for (const std::string &command : working) {
		std::string name = command.substr(command.rfind('/') + 1, command.find(' ') - command.rfind('/') - 1);
		ProgramResult full = run_program(command, input, "/dev/full");
		EXPECT_EQ(full.status, 1) << command;
		EXPECT_EQ(full.err, name + ": standard output: No space left on device\n") << command;
		// More than a pipe holds: the writer is still writing when the reader is gone.
		if (name == "encode_stream" || name == "channel") {
			EXPECT_EQ(run_program("{ " + command + "; echo $? >&2; } | true", input).err,
				  name + ": standard output: Broken pipe\n1\n");
		}
	}
}

TEST(DecodeStream, ReceiverIsRebuiltAfterAFailedAllocation)
{
	const std::string failing = DECODE_STREAM_FAILING_NEW;
	const std::string one = two_bursts.substr(0, two_bursts.find("hi\n") + 3);
	std::string burst = run_program(encode + " -r 8000 -m 2 -s 0.6 -t hi").out;
	// The first receiver is missing: its blocks are dropped, the next one
	// takes the burst. Then the rebuild after the message fails: the second
	// burst arrives after the retry.
	ProgramResult r = run_program("FAIL_ALLOCATIONS=1,3 " + failing + " 8000 2", burst + burst);
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, "EVENT:HEAP_ERROR\n" + one + "EVENT:HEAP_ERROR\n" + one);
}

}
