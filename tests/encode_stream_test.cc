#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/program.hh"

namespace {

ProgramResult encode(const std::string &args, const std::string &input = "")
{
	return run_program(std::string(ENCODE_STREAM) + " " + args, input);
}

std::vector<int> samples(const std::string &bytes, size_t skip = 0)
{
	std::vector<int> x((bytes.size() - skip) / 2);
	for (size_t i = 0; i < x.size(); ++i)
		x[i] = int16_t(uint8_t(bytes[skip + 2 * i]) | uint8_t(bytes[skip + 2 * i + 1]) << 8);
	return x;
}

uint32_t le(const std::string &b, int at, int bytes)
{
	uint32_t v = 0;
	for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(b[at + i]);
	return v;
}

struct Variant
{
	int rate, mapping;
	int extended() const { return rate * 180 / 1000; }
	int symbols() const { return mapping == 2 ? 8 : 4; }
	std::string args() const
	{
		return "--rate " + std::to_string(rate) + " --mapping " + std::to_string(mapping);
	}
};

class EncodeStream : public ::testing::TestWithParam<Variant>
{
};

INSTANTIATE_TEST_SUITE_P(Variants, EncodeStream,
                         ::testing::Values(Variant{8000, 2}, Variant{8000, 4}, Variant{8000, 8},
                                           Variant{48000, 2}, Variant{48000, 4}, Variant{48000, 8}),
                         [](const auto &info) {
	                         return std::to_string(info.param.rate) + "_" +
	                                std::to_string(info.param.mapping);
                         });

TEST_P(EncodeStream, BurstCountsByOutputLength)
{
	auto v = GetParam();
	int gap = v.rate / 4, payload = (2 + v.symbols()) * v.extended(), ping = 2 * v.extended();
	struct Case
	{
		std::string args, input;
		long frames;
	} cases[] = {
	    {"--text hello", "", 2 * gap + payload},
	    {"", "hello\n", 2 * gap + payload},
	    {"--lines --repeat 2", "one\n\nthree", 6 * (2 * gap + payload)},
	    {"--lines", "a\nb\n", 2 * (2 * gap + payload)},
	    {"--mode ping --repeat 3", "", 3 * (2 * gap + ping)},
	    {"--mode 200", "ignored", 2 * gap + ping},
	    {"--mode 14 --channel 4", "", 2 * (2 * gap + payload)},
	    {"--silence 0 --text x", "", payload},
	};
	for (auto &c : cases) {
		auto r = encode(v.args() + " --silence 0.25 " + c.args, c.input);
		ASSERT_EQ(r.status, 0) << c.args << r.err;
		EXPECT_EQ(long(r.out.size()), 2 * c.frames) << c.args;
	}
}

TEST_P(EncodeStream, LevelIsRmsOfBurst)
{
	auto v = GetParam();
	for (double level : {-30.0, -18.0, -10.0}) {
		auto r =
		    encode(v.args() + " --silence 0 --mode 15 --level " + std::to_string(level), "payload");
		ASSERT_EQ(r.status, 0) << r.err;
		double power = 0;
		auto x = samples(r.out);
		for (int s : x) power += double(s) * s;
		EXPECT_NEAR(10 * std::log10(power / x.size() / 32768 / 32768), level, 0.1);
	}
}

TEST_P(EncodeStream, DefaultLevelDoesNotClip)
{
	std::string lines;
	for (int i = 0; i < 12; ++i) {
		uint32_t s = 1 + i;
		std::string line;
		for (int j = 0; j < 20 + 13 * i; ++j)
			line += char(' ' + ((s = s * 1103515245 + 12345) >> 16) % 90);
		lines += line + "\n";
	}
	auto r = encode(GetParam().args() + " --silence 0 --lines", lines);
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	int peak = 0;
	for (int s : samples(r.out)) peak = std::max(peak, std::abs(s));
	EXPECT_LT(peak, 32000);
	auto loud = encode(GetParam().args() + " --level 0 --text loud");
	EXPECT_EQ(loud.status, 0);
	EXPECT_NE(loud.err.find("clipped"), std::string::npos);
}

TEST_P(EncodeStream, WavHeaderDescribesSamples)
{
	auto v = GetParam();
	for (int channel : {0, 1, 4}) {
		int channels = channel ? 2 : 1;
		auto r =
		    encode(v.args() + " --wav --text hi --silence 0.1 --channel " + std::to_string(channel));
		ASSERT_EQ(r.status, 0) << r.err;
		const std::string &b = r.out;
		ASSERT_GT(b.size(), 44u);
		EXPECT_EQ(b.substr(0, 4), "RIFF");
		EXPECT_EQ(le(b, 4, 4), b.size() - 8);
		EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
		EXPECT_EQ(le(b, 16, 4), 16u);
		EXPECT_EQ(le(b, 20, 2), 1u);
		EXPECT_EQ(le(b, 22, 2), uint32_t(channels));
		EXPECT_EQ(le(b, 24, 4), uint32_t(v.rate));
		EXPECT_EQ(le(b, 28, 4), uint32_t(v.rate * channels * 2));
		EXPECT_EQ(le(b, 32, 2), uint32_t(channels * 2));
		EXPECT_EQ(le(b, 34, 2), 16u);
		EXPECT_EQ(b.substr(36, 4), "data");
		EXPECT_EQ(le(b, 40, 4), b.size() - 44);
		auto raw = encode(v.args() + " --text hi --silence 0.1 --channel " + std::to_string(channel));
		EXPECT_TRUE(b.substr(44) == raw.out);
	}
}

TEST_P(EncodeStream, ChannelLayouts)
{
	auto v = GetParam();
	auto mono = samples(encode(v.args() + " --text abc").out);
	auto left = samples(encode(v.args() + " --text abc --channel 1").out);
	auto right = samples(encode(v.args() + " --text abc --channel 2").out);
	auto both = samples(encode(v.args() + " --text abc --channel 3").out);
	auto iq = samples(encode(v.args() + " --text abc --channel 4").out);
	ASSERT_EQ(left.size(), 2 * mono.size());
	double cross = 0, ii = 0, qq = 0;
	for (size_t n = 0; n < mono.size(); ++n) {
		ASSERT_EQ(left[2 * n], mono[n]);
		ASSERT_EQ(left[2 * n + 1], 0);
		ASSERT_EQ(right[2 * n], 0);
		ASSERT_EQ(right[2 * n + 1], mono[n]);
		ASSERT_EQ(both[2 * n], mono[n]);
		ASSERT_EQ(both[2 * n + 1], mono[n]);
		ASSERT_EQ(iq[2 * n], mono[n]);
		cross += double(iq[2 * n]) * iq[2 * n + 1], ii += double(iq[2 * n]) * iq[2 * n];
		qq += double(iq[2 * n + 1]) * iq[2 * n + 1];
	}
	// Q is I turned by a quarter period at every carrier: as strong, and uncorrelated.
	EXPECT_NEAR(qq / ii, 1, 0.01);
	EXPECT_LT(std::abs(cross) / ii, 0.01);
}

TEST_P(EncodeStream, SmallestModeThatHoldsThePayload)
{
	auto v = GetParam();
	struct
	{
		size_t bytes;
		int mode;
	} cases[] = {{0, 16}, {85, 16}, {86, 15}, {128, 15}, {129, 14}, {170, 14}};
	for (auto [bytes, mode] : cases) {
		std::string text(bytes, 'x');
		auto automatic = encode(v.args() + " --silence 0", text);
		auto chosen = encode(v.args() + " --silence 0 --mode " + std::to_string(mode), text);
		ASSERT_EQ(automatic.status, 0) << automatic.err;
		EXPECT_TRUE(automatic.out == chosen.out) << bytes;
		if (mode == 16) {
			EXPECT_TRUE(automatic.out != encode(v.args() + " --silence 0 --mode 15", text).out);
		}
	}
}

TEST_P(EncodeStream, BandEdges)
{
	auto v = GetParam();
	double top = v.rate / 2.0 - 793.75;
	for (double freq : {800.5, top - 0.5})
		EXPECT_EQ(encode(v.args() + " --mode ping --freq " + std::to_string(freq)).status, 0) << freq;
	for (double freq : {800.0, top, -1500.0}) {
		auto r = encode(v.args() + " --mode ping --freq " + std::to_string(freq));
		EXPECT_EQ(r.status, 1) << freq;
		EXPECT_EQ(r.out, "");
		EXPECT_NE(r.err.find("outside 0 to"), std::string::npos) << r.err;
	}
}

TEST(EncodeStreamArguments, ErrorsWriteNothing)
{
	std::string long_line(171, 'a');
	struct
	{
		std::string args, input;
	} cases[] = {
	    {"--rate 44100", ""},
	    {"--rate x", ""},
	    {"--rate", ""},
	    {"--mapping 3", ""},
	    {"--channel 5", ""},
	    {"--channel -1", ""},
	    {"--call ''", ""},
	    {"--call TOOLONGCALL", ""},
	    {"--call A_B", ""},
	    {"--call '   '", ""},
	    {"--mode 256", ""},
	    {"--mode -1", ""},
	    {"--mode pong", ""},
	    {"--mode 16 --text " + std::string(86, 'b'), ""},
	    {"--mode 15", std::string(129, 'c')},
	    {"--text " + long_line, ""},
	    {"", long_line},
	    {"--lines", "fine\n" + long_line + "\nfine\n"},
	    {"--mode ping --text hi", ""},
	    {"--mode 0 --lines", ""},
	    {"--rate 8000 --freq 700", ""},
	    {"--rate 8000 --freq 3300", ""},
	    {"--freq 23300", ""},
	    {"--freq 1.5k", ""},
	    {"--level 1", ""},
	    {"--level loud", ""},
	    {"--silence -1", ""},
	    {"--repeat 0", ""},
	    {"--repeat 2.5", ""},
	    {"--wav=yes", ""},
	    {"--bogus", ""},
	    {"-h", ""},
	    {"payload", ""},
	};
	for (auto &c : cases) {
		auto r = encode(c.args, c.input);
		EXPECT_EQ(r.status, 1) << c.args;
		EXPECT_EQ(r.out, "") << c.args;
		EXPECT_EQ(r.err.rfind("encode_stream: ", 0), 0u) << c.args << ": " << r.err;
	}
}

TEST(EncodeStreamArguments, HelpAndAcceptedForms)
{
	auto help = encode("--help");
	EXPECT_EQ(help.status, 0);
	for (const char *option : {"--rate", "--mapping", "--channel", "--call", "--mode", "--freq",
	                           "--level", "--silence", "--wav", "--text", "--lines", "--repeat"})
		EXPECT_NE(help.out.find(option), std::string::npos) << option;
	auto a = encode("--rate=8000 --call=dl1abc --text=hi --silence 0");
	auto b = encode("--rate 8000 --call DL1ABC --text hi --silence 0");
	auto c = encode("--rate 8000 --call DL1ABD --text hi --silence 0");
	EXPECT_EQ(a.status, 0) << a.err;
	EXPECT_TRUE(a.out == b.out);
	EXPECT_TRUE(a.out != c.out);
	auto crlf = encode("--rate 8000 --call DL1ABC --lines --silence 0", "hi\r\n");
	EXPECT_TRUE(crlf.out == b.out) << crlf.out.size() << " " << b.out.size();
}

}
