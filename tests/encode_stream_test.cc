#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/program.hh"

namespace {

ProgramResult encode(const std::string &args, const std::string &input = "")
{
	return run_program(std::string(ENCODE_STREAM) + " " + args, input);
}

class EncodeStream : public testing::TestWithParam<std::tuple<int, int>>
{
      protected:
	int rate = std::get<0>(GetParam()), mapping = std::get<1>(GetParam());
	std::string variant = "-r " + std::to_string(rate) + " -m " + std::to_string(mapping);
};

INSTANTIATE_TEST_SUITE_P(Variants, EncodeStream,
                         testing::Combine(testing::Values(8000, 48000), testing::Values(2, 4, 8)));

// One burst per text, line that is not blank, or repeat, each between two
// gaps of --silence; two values per frame for the stereo layouts.
TEST_P(EncodeStream, BurstCountsByOutputLength)
{
	long extended = rate * 180 / 1000, gap = rate / 4,
	     burst = 2 * gap + (2 + (mapping == 2 ? 8 : 4)) * extended;
	const std::tuple<std::string, std::string, long> cases[] = {
	    {"--text hello", "", burst},
	    {"", "hello\n", burst},
	    {"--lines --repeat 2", "one\n\n \t\r\nthree", 4 * burst},
	    {"-M ping -n 3", "", 3 * (2 * gap + 2 * extended)},
	    {"--mode 200", "ignored", 2 * gap + 2 * extended},
	    {"-M 14 -c 4", "", 2 * burst},
	    {"-s 0 -t x", "", burst - 2 * gap}};
	for (auto &[args, input, frames] : cases) {
		auto r = encode(variant + " -s 0.25 " + args, input);
		EXPECT_EQ(long(r.out.size()) + r.status, 2 * frames) << args << r.err;
	}
}

// --level is the RMS of the burst; a level that clips says so. The WAV
// stream is the raw samples behind a header that sox reads as the same
// rate, channels and length.
TEST_P(EncodeStream, LevelAndWav)
{
	for (double level : {-30.0, -10.0}) {
		auto x = samples_of<double>(
		    encode(variant + " -s 0 -M 15 -l " + std::to_string(level), "payload").out);
		double power = 0;
		for (double s : x) power += s * s;
		EXPECT_NEAR(10 * std::log10(power / x.size() / 32768 / 32768), level, 0.1);
	}
	EXPECT_NE(encode(variant + " -l 0 -t loud").err.find("samples clipped"), std::string::npos);
	TempDir dir;
	for (int channel : {0, 4}) {
		std::string args = variant + " -t hi -s 0.1 -c " + std::to_string(channel);
		std::string raw = encode(args).out, wav = encode(args + " --wav").out,
		            file = dir.file("b.wav");
		EXPECT_TRUE(wav.size() == raw.size() + 44 && wav.substr(44) == raw);
		write_file(file, wav);
		EXPECT_EQ(
		    run_program("sox --i -r " + file + "; sox --i -c " + file + "; sox --i -s " + file).out,
		    std::to_string(rate) + "\n" + (channel ? "2\n" : "1\n") +
		        std::to_string(raw.size() / (channel ? 4 : 2)) + "\n");
	}
}

// Left, right and both carry the mono samples; I/Q carries them on the left.
TEST_P(EncodeStream, ChannelLayouts)
{
	std::string args = variant + " -t abc";
	auto mono = samples_of(encode(args).out);
	for (auto [channel, left, right] : {std::tuple{1, 1, 0}, {2, 0, 1}, {3, 1, 1}, {4, 1, -1}}) {
		auto x = samples_of(encode(args + " -c " + std::to_string(channel)).out);
		ASSERT_EQ(x.size(), 2 * mono.size()) << channel;
		for (size_t n = 0; n < mono.size(); ++n)
			ASSERT_TRUE(x[2 * n] == left * mono[n] &&
			            (right < 0 || x[2 * n + 1] == right * mono[n]))
			    << n;
	}
}

// Without --mode the payload goes in the mode of the most data symbols that
// holds it.
TEST_P(EncodeStream, SmallestModeThatHoldsThePayload)
{
	for (auto [bytes, mode] : {std::pair{0, 16}, {85, 16}, {86, 15}, {128, 15}, {129, 14}, {170, 14}}) {
		std::string text(bytes, 'x'), args = variant + " -s 0";
		auto automatic = encode(args, text).out;
		EXPECT_TRUE(automatic == encode(args + " -M " + std::to_string(mode), text).out) << bytes;
		EXPECT_TRUE(automatic !=
		            encode(args + " -M " + std::to_string(mode == 14 ? 15 : 14), text).out)
		    << bytes;
	}
}

// --list-modes names its columns, then describes every payload mode as the
// encoder treats it: the payload of that many bytes fits and one more does
// not, the information bits are the payload's and 32 of the CRC, and the
// burst lasts as long as the samples written for it.
TEST(EncodeStreamModes, TableDescribesWhatTheEncoderDoes)
{
	auto r = encode("--list-modes");
	ASSERT_EQ(r.status, 0) << r.err;
	std::istringstream table(r.out);
	std::string header;
	std::getline(table, header);
	EXPECT_EQ(header, "mode payload_bytes information_bits code_bits burst_s_2 burst_s_4 burst_s_8");
	std::vector<int> modes;
	for (std::string line; std::getline(table, line);) {
		std::istringstream row(line);
		int mode, bytes, information, code;
		double seconds[3];
		ASSERT_TRUE(row >> mode >> bytes >> information >> code >> seconds[0] >> seconds[1] >> seconds[2]) << line;
		modes.push_back(mode);
		std::string args = "-r 8000 -s 0 -M " + std::to_string(mode);
		EXPECT_EQ(encode(args, std::string(bytes, 'x')).status, 0) << line;
		EXPECT_EQ(encode(args, std::string(bytes + 1, 'x')).status, 1) << line;
		EXPECT_EQ(information, 8 * bytes + 32) << line;
		EXPECT_EQ(code, 2048) << line;
		for (int i = 0; i < 3; ++i) {
			auto burst = encode(args + " -m " + std::to_string(2 << i), "x").out;
			EXPECT_NEAR(double(burst.size()) / 2 / 8000, seconds[i], 5e-4) << line;
		}
	}
	EXPECT_EQ(modes, (std::vector<int>{14, 15, 16}));
}

// A refused value or payload writes nothing: status 1 and one line of
// message; a command line that cannot be read is status 2.
TEST(EncodeStreamArguments, RefusalsWriteNothing)
{
	std::string long_line(171, 'a');
	const std::tuple<std::string, std::string, int> cases[] = {{"-M 15", std::string(129, 'c'), 1},
	                                                           {"", long_line, 1},
	                                                           {"-r 44100", "", 1},
	                                                           {"--mapping=3", "", 1},
	                                                           {"-c 5", "", 1},
	                                                           {"--call A_B", "", 1},
	                                                           {"-C '   '", "", 1},
	                                                           {"-M 256", "", 1},
	                                                           {"-M ping -t hi", "", 1},
	                                                           {"-f 800", "", 1},
	                                                           {"-r 8000 -f 3300", "", 1},
	                                                           {"-l 1", "", 1},
	                                                           {"-s -1", "", 1},
	                                                           {"-n 2.5", "", 1},
	                                                           {"--wav=yes", "", 2},
	                                                           {"--bogus", "", 2},
	                                                           {"-wx", "", 2},
	                                                           {"--rate", "", 2},
	                                                           {"payload", "", 2},
	                                                           {"-t hi -- -w", "", 2}};
	for (auto &[args, input, status] : cases) {
		auto r = encode(args, input);
		EXPECT_EQ(r.out + std::to_string(r.status), std::to_string(status)) << args;
		EXPECT_TRUE(r.err.rfind("encode_stream: ", 0) == 0 && r.err.find('\n') == r.err.size() - 1)
		    << r.err;
	}
	EXPECT_EQ(encode("-L", "fine\n\n" + long_line).err,
	          "encode_stream: line 3: payload of 171 bytes is too long for any mode (at most 170)\n");
}

// Short and long forms, values attached or apart, combined short flags:
// the same bytes; call signs ignore case and a CR before the line end is not
// part of the line.
TEST(EncodeStreamArguments, EveryFormOfAnOptionMeansTheSame)
{
	std::string want =
	    encode("--rate 8000 --call DL1ABC --lines --repeat 2 --wav --silence 0", "hi\n").out;
	ASSERT_GT(want.size(), 44u);
	for (const char *args : {"--rate=8000 --call=dl1abc --lines --repeat=2 --wav --silence=0",
	                         "-r8000 -Cdl1abc -wLn2 -s0", "-r 8000 -C DL1ABC -Lw -n 2 -s 0 --"})
		EXPECT_TRUE(encode(args, "hi\r\n").out == want) << args;
	EXPECT_TRUE(encode("-r 8000 -C DL1ABD -Lwn2 -s0", "hi\n").out != want);
}

}
