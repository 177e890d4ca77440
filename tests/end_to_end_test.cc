#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/pipeline.hh"

// Transmitter, channel and receiver as a user runs them, over the six variants (payload modes and
// escaping through the programs: output_safety_test).

namespace {

class EndToEnd : public testing::TestWithParam<Programs>
{
protected:
	std::string encode(const std::string &options) const { return GetParam().encode(options); }
	std::string channel(const std::string &options) const { return GetParam().channel(options); }
	std::string decode(int selection = 0) const { return GetParam().decode(selection); }
};

INSTANTIATE_TEST_SUITE_P(Variants, EndToEnd, every_variant, variant_name);

// Printable text without the backslash, which the receiver escapes.
std::string text_of(int bytes)
{
	std::string text;
	for (int i = 0; i < bytes; ++i) {
		char c = ' ' + 1 + (i * 7 + i / 95) % 94;
		text += c == '\\' ? '/' : c;
	}
	return text;
}

TEST_P(EndToEnd, PingUnknownModeAndPayloadsInOneStream)
{
	std::string pipeline = "{ " + encode("--call 9Z --mode ping") + "; " + encode("--call K1 --mode 200") + "; " +
			       encode("--call q7 --lines") + "; } | " + decode();
	auto lines = events(pipeline, "first\nsecond line\n");
	std::vector<std::string> expected = {
		"EVENT:PING|CFO:1500|MODE:0|CALL:9Z       ", "EVENT:NOPE|CFO:1500|MODE:200|CALL:K1       ",
		"EVENT:SYNC|CFO:1500|MODE:16|CALL:Q7       ", "EVENT:MESSAGE|FLIPS:0|PAYLOAD:first",
		"EVENT:SYNC|CFO:1500|MODE:16|CALL:Q7       ", "EVENT:MESSAGE|FLIPS:0|PAYLOAD:second line"};
	EXPECT_EQ(lines, expected);
}

TEST_P(EndToEnd, EveryChannelSelection)
{
	for (int selection = 0; selection <= 4; ++selection) {
		auto lines = events(encode("--channel " + std::to_string(selection) + " --text selection" +
					   std::to_string(selection)) +
				    " | " + decode(selection));
		std::vector<std::string> expected = {"EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   ",
						     "EVENT:MESSAGE|FLIPS:0|PAYLOAD:selection" + std::to_string(selection)};
		EXPECT_EQ(lines, expected) << selection;
	}
	// Left and right on their own are different samples: the wrong side is silence.
	EXPECT_EQ(events(encode("--channel 1 --text left") + " | " + decode(2)).size(), 0u);
}

TEST_P(EndToEnd, SurvivesNoiseFrequencyAndTimingOffsets)
{
	std::string text = text_of(120);
	for (int seed = 1; seed <= 3; ++seed) {
		// Bursts start at odd offsets from the receiver's periods.
		std::string offset = "head -c " + std::to_string(2 * (seed * 1237 + 300)) + " /dev/zero; ";
		std::string pipeline = "{ " + offset + encode("--mode 15") + "; } | " +
				       channel("--snr 14 --cfo -23.4 --ppm 300 --seed " + std::to_string(seed)) + " | " +
				       decode();
		auto lines = events(pipeline, text);
		ASSERT_EQ(lines.size(), 2u) << seed;
		std::smatch m;
		ASSERT_TRUE(std::regex_match(lines[0], m, std::regex(R"(EVENT:SYNC\|CFO:([-0-9.]+)\|MODE:15\|CALL:N0CALL   )")))
			<< lines[0];
		// The clock offset also moves the centre by 300 ppm.
		EXPECT_NEAR(std::stod(m[1]), 1500 - 23.4 + 1500 * 300e-6, 0.5) << seed;
		ASSERT_TRUE(std::regex_match(lines[1], m, std::regex("EVENT:MESSAGE\\|FLIPS:([0-9]+)\\|PAYLOAD:(.*)")))
			<< lines[1];
		EXPECT_EQ(m[2], text) << seed;
	}
}

// The end of the input flushes the receiver: a burst cut in half gives its SYNC and a failed message, one that
// ends with the input, inside a block, its payload.
TEST_P(EndToEnd, StreamEndingInOrRightAfterABurst)
{
	ProgramResult burst = run_program(encode("--text cut --silence 0.51"));
	ASSERT_EQ(burst.status, 0);
	// Silence of 25.5 blocks on either side of the burst; start and stop in bytes.
	size_t start = size_t(GetParam().rate) * 51 / 50, stop = burst.out.size() - start;
	const std::string sync = "EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   \n";
	for (auto [cut, out] : {std::pair<size_t, std::string>{start, ""},
				{(start + stop) / 2, sync + "EVENT:MESSAGE|FLIPS:-1|PAYLOAD:\n"},
				{stop, sync + "EVENT:MESSAGE|FLIPS:0|PAYLOAD:cut\n"}}) {
		ProgramResult r = run_program(decode(), burst.out.substr(0, cut));
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.out, out) << cut;
	}
}

}
