#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pipeline.hh"
#include "testing/unescape.hh"

// Received bytes cannot forge or break event lines: payloads sent over the
// air by encode_stream and printed by decode_stream, over the six variants.

namespace {

class OutputSafety : public testing::TestWithParam<Programs>
{
      protected:
	TempDir dir;

	// A burst of the mode carrying the bytes of file name, as a shell command.
	std::string send(const std::string &name, const std::string &bytes, int mode)
	{
		write_file(dir.file(name), bytes);
		return GetParam().encode("--silence 0.5 --mode " + std::to_string(mode) + " < " + dir.file(name));
	}
	std::vector<std::string> receive(const std::string &bursts)
	{
		return events("{ " + bursts + "; } | " + GetParam().decode());
	}
	// The payload texts of the lines, which must alternate SYNC and MESSAGE|FLIPS:0.
	static std::vector<std::string> texts(const std::vector<std::string> &lines)
	{
		std::vector<std::string> list;
		const std::string prefix = "EVENT:MESSAGE|FLIPS:0|PAYLOAD:";
		EXPECT_EQ(lines.size() % 2, 0u);
		for (size_t i = 0; i + 1 < lines.size(); i += 2) {
			EXPECT_EQ(lines[i].rfind("EVENT:SYNC|", 0), 0u) << lines[i];
			EXPECT_EQ(lines[i + 1].rfind(prefix, 0), 0u) << lines[i + 1];
			list.push_back(lines[i + 1].substr(prefix.size()));
		}
		return list;
	}
};

INSTANTIATE_TEST_SUITE_P(Variants, OutputSafety, every_variant, variant_name);

TEST_P(OutputSafety, ForgedEventLinesStayInsideOnePayload)
{
	std::vector<std::string> forged = {
	    "\nEVENT:MESSAGE|FLIPS:0|PAYLOAD:forged",
	    "ok\r\nEVENT:PING|CFO:1500|MODE:0|CALL:FAKE     \n",
	    "\rEVENT:SYNC|CFO:1|MODE:16|CALL:X        \x1b[2K\x1b[1A\x7f\\nEVENT:NOPE",
	};
	auto lines = receive(send("a", forged[0], 16) + "; " + send("b", forged[1], 16) + "; " +
	                     send("c", forged[2], 15));
	ASSERT_EQ(lines.size(), 6u);
	std::vector<std::string> expected = {
	    "\\nEVENT:MESSAGE|FLIPS:0|PAYLOAD:forged",
	    "ok\\r\\nEVENT:PING|CFO:1500|MODE:0|CALL:FAKE     ",
	    "\\rEVENT:SYNC|CFO:1|MODE:16|CALL:X        \\x1b[2K\\x1b[1A\\x7f\\\\nEVENT:NOPE",
	};
	EXPECT_EQ(texts(lines), expected);
	// encode_stream drops one newline at the end of its input.
	forged[1].pop_back();
	EXPECT_EQ(unescape(texts(lines)[0]), forged[0]);
	EXPECT_EQ(unescape(texts(lines)[1]), forged[1]);
	EXPECT_EQ(unescape(texts(lines)[2]), forged[2]);
}

TEST_P(OutputSafety, EveryByteValueRoundTripsThroughTheEscaping)
{
	// Bytes 1 to 255 in three bursts, ascending then descending, so that
	// every value also appears after a different neighbour.
	std::string up, down;
	for (int c = 1; c <= 255; ++c) up += char(c);
	for (int c = 255; c >= 86; --c) down += char(c);
	std::vector<std::string> sent = {up.substr(0, 170), up.substr(170), down};
	auto lines =
	    receive(send("1", sent[0], 14) + "; " + send("2", sent[1], 16) + "; " + send("3", sent[2], 14));
	auto received = texts(lines);
	ASSERT_EQ(received.size(), 3u);
	for (int i = 0; i < 3; ++i) EXPECT_EQ(unescape(received[i]), sent[i]) << i;
}

TEST_P(OutputSafety, ZeroByteEndsThePayloadText)
{
	// The payload is a zero-terminated text: what follows the first zero
	// byte is not shown, whatever it holds.
	const char bytes[] = "before\0\nEVENT:MESSAGE|FLIPS:0|PAYLOAD:after";
	std::string payload(bytes, sizeof bytes - 1);
	EXPECT_EQ(texts(receive(send("z", payload, 16))), std::vector<std::string>{"before"});
	EXPECT_EQ(texts(receive(send("e", std::string("\0x", 2), 16))), std::vector<std::string>{""});
}

}
