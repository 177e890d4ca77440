#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/program.hh"

namespace {

ProgramResult encode(const std::string &args, const std::string &input = "")
{
	return run_program(std::string(ENCODE_STREAM) + " " + args, input);
}

// Rate and mapping of a receiver variant.
class EncodeStream : public testing::TestWithParam<std::tuple<int, int>>
{
      protected:
	int rate = std::get<0>(GetParam()), mapping = std::get<1>(GetParam());
	std::string variant = "--rate " + std::to_string(rate) + " --mapping " + std::to_string(mapping);
};

INSTANTIATE_TEST_SUITE_P(Variants, EncodeStream,
                         testing::Combine(testing::Values(8000, 48000), testing::Values(2, 4, 8)),
                         [](const auto &info) {
	                         return std::to_string(std::get<0>(info.param)) + "_" +
	                                std::to_string(std::get<1>(info.param));
                         });

// One burst per text, line or repeat, each between two gaps of --silence, and a channel for each side.
TEST_P(EncodeStream, BurstCountsByOutputLength)
{
	int extended = rate * 180 / 1000, gap = rate / 4;
	int payload = (2 + (mapping == 2 ? 8 : 4)) * extended, ping = 2 * extended;
	struct Case
	{
		std::string args, input;
		long frames;
	} cases[] = {{"--text hello", "", 2 * gap + payload},
	             {"", "hello\n", 2 * gap + payload},
	             {"--lines --repeat 2", "one\n\nthree", 6 * (2 * gap + payload)},
	             {"--lines", "a\nb\n", 2 * (2 * gap + payload)},
	             {"--mode ping --repeat 3", "", 3 * (2 * gap + ping)},
	             {"--mode 200", "ignored", 2 * gap + ping},
	             {"--mode 14 --channel 4", "", 2 * (2 * gap + payload)},
	             {"--silence 0 --text x", "", payload}};
	for (auto &c : cases) {
		auto r = encode(variant + " --silence 0.25 " + c.args, c.input);
		ASSERT_EQ(r.status, 0) << c.args << r.err;
		EXPECT_EQ(long(r.out.size()), 2 * c.frames) << c.args;
	}
}

// --level is the RMS of the burst; the default leaves room for the peaks of long random texts, and a level
// that clips says so.
TEST_P(EncodeStream, LevelIsRmsOfBurstAndTheDefaultDoesNotClip)
{
	for (double level : {-30.0, -18.0, -10.0}) {
		auto r =
		    encode(variant + " --silence 0 --mode 15 --level " + std::to_string(level), "payload");
		ASSERT_EQ(r.status, 0) << r.err;
		double power = 0;
		auto x = samples_of<double>(r.out);
		for (double s : x) power += s * s;
		EXPECT_NEAR(10 * std::log10(power / x.size() / 32768 / 32768), level, 0.1);
	}
	std::string lines;
	for (int i = 0; i < 12; ++i, lines += "\n")
		for (uint32_t j = 0, s = 1 + i; j < 20 + 13u * i; ++j)
			lines += char(' ' + ((s = s * 1103515245 + 12345) >> 16) % 90);
	auto r = encode(variant + " --silence 0 --lines", lines);
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	int peak = 0;
	for (int s : samples_of(r.out)) peak = std::max(peak, std::abs(s));
	EXPECT_LT(peak, 32000);
	auto loud = encode(variant + " --level 0 --text loud");
	EXPECT_EQ(loud.status, 0);
	EXPECT_NE(loud.err.find("clipped"), std::string::npos);
}

// A 44-byte header in front of exactly the raw samples.
TEST_P(EncodeStream, WavHeaderDescribesSamples)
{
	auto le = [](const std::string &b, int at, int bytes) {
		uint32_t value = 0;
		for (int i = bytes - 1; i >= 0; --i) value = value << 8 | uint8_t(b[at + i]);
		return value;
	};
	for (int channel : {0, 1, 4}) {
		uint32_t channels = channel ? 2 : 1, hz = rate;
		std::string args = variant + " --text hi --silence 0.1 --channel " + std::to_string(channel);
		auto r = encode(args + " --wav");
		ASSERT_EQ(r.status, 0) << r.err;
		const std::string &b = r.out;
		ASSERT_GT(b.size(), 44u);
		EXPECT_EQ(b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4), "RIFFWAVEfmt data");
		uint32_t size = b.size();
		// Byte offset, width and value of every number in the header.
		const uint32_t fields[][3] = {{4, 4, size - 8},      {16, 4, 16}, {20, 2, 1},
		                              {22, 2, channels},     {24, 4, hz}, {28, 4, hz * channels * 2},
		                              {32, 2, channels * 2}, {34, 2, 16}, {40, 4, size - 44}};
		for (auto [at, bytes, value] : fields)
			EXPECT_EQ(le(b, at, bytes), value) << "byte " << at << ", channel " << channel;
		EXPECT_TRUE(b.substr(44) == encode(args).out);
	}
}

// Left, right and both carry the mono samples; I/Q carries them on the left and on the right the same signal
// turned by a quarter period at every carrier: as strong, and uncorrelated.
TEST_P(EncodeStream, ChannelLayouts)
{
	std::string args = variant + " --text abc";
	auto mono = samples_of<double>(encode(args).out);
	for (auto [channel, left, right] : {std::tuple{1, 1, 0}, {2, 0, 1}, {3, 1, 1}}) {
		auto x = samples_of<double>(encode(args + " --channel " + std::to_string(channel)).out);
		ASSERT_EQ(x.size(), 2 * mono.size()) << channel;
		for (size_t n = 0; n < mono.size(); ++n)
			ASSERT_TRUE(x[2 * n] == left * mono[n] && x[2 * n + 1] == right * mono[n])
			    << channel << ": " << n;
	}
	auto iq = samples_of<double>(encode(args + " --channel 4").out);
	ASSERT_EQ(iq.size(), 2 * mono.size());
	double cross = 0, ii = 0, qq = 0;
	for (size_t n = 0; n < mono.size(); ++n) {
		ASSERT_EQ(iq[2 * n], mono[n]) << n;
		cross += iq[2 * n] * iq[2 * n + 1], ii += mono[n] * mono[n],
		    qq += iq[2 * n + 1] * iq[2 * n + 1];
	}
	EXPECT_NEAR(qq / ii, 1, 0.01);
	EXPECT_LT(std::abs(cross) / ii, 0.01);
}

// Without --mode the payload goes in the mode of the most data symbols that holds it.
TEST_P(EncodeStream, SmallestModeThatHoldsThePayload)
{
	std::string args = variant + " --silence 0";
	for (auto [bytes, mode] : {std::pair{0, 16}, {85, 16}, {86, 15}, {128, 15}, {129, 14}, {170, 14}}) {
		std::string text(bytes, 'x');
		auto automatic = encode(args, text);
		ASSERT_EQ(automatic.status, 0) << automatic.err;
		EXPECT_TRUE(automatic.out == encode(args + " --mode " + std::to_string(mode), text).out)
		    << bytes;
		if (mode == 16) {
			EXPECT_TRUE(automatic.out != encode(args + " --mode 15", text).out) << bytes;
		}
	}
}

// Every carrier strictly between 0 Hz and half the sample rate.
TEST_P(EncodeStream, BandEdges)
{
	std::string args = variant + " --mode ping --freq ";
	double top = rate / 2.0 - 793.75;
	for (double freq : {800.5, top - 0.5})
		EXPECT_EQ(encode(args + std::to_string(freq)).status, 0) << freq;
	for (double freq : {800.0, top, -1500.0}) {
		auto r = encode(args + std::to_string(freq));
		EXPECT_EQ(r.status, 1) << freq;
		EXPECT_EQ(r.out, "");
		EXPECT_NE(r.err.find("outside 0 to"), std::string::npos) << r.err;
	}
}

// Every bad argument or input fails with status 1, a message and no sound.
TEST(EncodeStreamArguments, ErrorsWriteNothing)
{
	std::string long_line(171, 'a');
	std::vector<std::pair<std::string, std::string>> cases = {
	    {"--mode 15", std::string(129, 'c')},
	    {"", long_line},
	    {"--lines", "fine\n" + long_line + "\nfine\n"},
	    {"--mode 16 --text " + std::string(86, 'b'), ""},
	    {"--text " + long_line, ""}};
	// Arguments alone, separated by "|".
	std::istringstream bad(
	    "--rate 44100|--rate x|--rate|--mapping 3|--channel 5|--channel -1|--call ''|"
	    "--call TOOLONGCALL|--call A_B|--call '   '|--mode 256|--mode -1|--mode pong|"
	    "--mode ping --text hi|--mode 0 --lines|--rate 8000 --freq 700|--rate 8000 --freq 3300|"
	    "--freq 23300|--freq 1.5k|--level 1|--level loud|--silence -1|--repeat 0|--repeat 2.5|"
	    "--wav=yes|--bogus|-h|payload");
	for (std::string args; std::getline(bad, args, '|');) cases.emplace_back(args, "");
	for (auto &[args, input] : cases) {
		auto r = encode(args, input);
		EXPECT_EQ(r.status, 1) << args;
		EXPECT_EQ(r.out, "") << args;
		EXPECT_EQ(r.err.rfind("encode_stream: ", 0), 0u) << args << ": " << r.err;
	}
}

// --help names every option; --name=value equals --name value, call signs ignore case and a CR before the
// line end is not part of the line.
TEST(EncodeStreamArguments, HelpAndAcceptedForms)
{
	auto help = encode("--help");
	EXPECT_EQ(help.status, 0);
	for (const char *option : {"--rate", "--mapping", "--channel", "--call", "--mode", "--freq",
	                           "--level", "--silence", "--wav", "--text", "--lines", "--repeat"})
		EXPECT_NE(help.out.find(option), std::string::npos) << option;
	auto a = encode("--rate=8000 --call=dl1abc --text=hi --silence 0");
	auto b = encode("--rate 8000 --call DL1ABC --text hi --silence 0");
	EXPECT_EQ(a.status, 0) << a.err;
	EXPECT_TRUE(a.out == b.out);
	EXPECT_TRUE(a.out != encode("--rate 8000 --call DL1ABD --text hi --silence 0").out);
	EXPECT_TRUE(encode("--rate 8000 --call DL1ABC --lines --silence 0", "hi\r\n").out == b.out);
}

}
