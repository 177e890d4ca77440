#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stream/event_line.hh"
#include "testing/unescape.hh"

namespace {

std::string escaped(const std::string &bytes, int size = 170)
{
	char text[event_line_capacity];
	payload_text(reinterpret_cast<const unsigned char *>(bytes.data()), std::min<size_t>(size, bytes.size()), text,
	             sizeof text);
	return text;
}

TEST(PayloadText, EscapesEveryByteClass)
{
	EXPECT_EQ(escaped("plain text 123"), "plain text 123");
	EXPECT_EQ(escaped("a\\b"), "a\\\\b");
	EXPECT_EQ(escaped("a\nb\rc\td"), "a\\nb\\rc\\td");
	EXPECT_EQ(escaped("\x01\x1f\x7f\x1b"), "\\x01\\x1f\\x7f\\x1b");
	EXPECT_EQ(escaped(" ~"), " ~");
	EXPECT_EQ(escaped("gr\xc3\xbc\xc3\x9f \xe2\x82\xac\x80\xff"), "gr\xc3\xbc\xc3\x9f \xe2\x82\xac\x80\xff");
}

TEST(PayloadText, EndsAtFirstZeroByteOrAtTheBufferEnd)
{
	EXPECT_EQ(escaped(std::string("ab\0cd", 5)), "ab");
	EXPECT_EQ(escaped(std::string(170, 'x')), std::string(170, 'x'));
	EXPECT_EQ(escaped(std::string(200, 'y'), 170), std::string(170, 'y'));
}

TEST(PayloadText, EveryByteValueRoundTripsOnOneLine)
{
	std::string all;
	for (int c = 1; c < 256; ++c) all += char(c);
	std::string text = escaped(all, all.size());
	EXPECT_EQ(text.find('\n'), std::string::npos);
	EXPECT_EQ(text.find('\r'), std::string::npos);
	EXPECT_EQ(unescape(text), all);
}

TEST(PayloadText, CannotForgeAnEventLine)
{
	std::string text = escaped("hi\nEVENT:MESSAGE|FLIPS:0|PAYLOAD:forged");
	EXPECT_EQ(text, "hi\\nEVENT:MESSAGE|FLIPS:0|PAYLOAD:forged");
}

// Reports fixed results, as a receiver would after the given status.
struct FakeDecoder : DecoderInterface
{
	float cfo = 0;
	int mode = 0, flips = 0;
	std::string call = "         ", payload;
	int fetches = 0, reads = 0;

	bool feed(const short *, int, int) override { return false; }
	int process() override { return 0; }
	void spectrum(unsigned *, unsigned *, int) override {}
	void staged(float *c, int *m, unsigned char *text) override
	{
		++reads;
		*c = cfo;
		*m = mode;
		std::memcpy(text, call.data(), call.size());
	}
	int fetch(unsigned char *buffer) override
	{
		++fetches;
		std::memcpy(buffer, payload.data(), payload.size());
		return flips;
	}
	int rate() override { return 8000; }
	void restart() override {}
};

std::string event(int status, DecoderInterface *decoder)
{
	Event e;
	if (!read_event(status, decoder, e)) return "";
	char line[event_line_capacity];
	event_line(e, line, sizeof line);
	return line + std::string("\n");
}

std::string event(int status, FakeDecoder &decoder)
{
	return event(status, &decoder);
}

TEST(EventLine, MetadataEventsCarryOffsetModeAndCallSign)
{
	FakeDecoder d;
	d.cfo = 1500.25f, d.mode = 14, d.call = "ABC123   ";
	EXPECT_EQ(event(STATUS_SYNC, d), "EVENT:SYNC|CFO:1500.25|MODE:14|CALL:ABC123   \n");
	d.cfo = -0.000123456f, d.mode = 200;
	EXPECT_EQ(event(STATUS_NOPE, d), "EVENT:NOPE|CFO:-0.000123456|MODE:200|CALL:ABC123   \n");
	d.cfo = 1234567.f, d.mode = 0;
	EXPECT_EQ(event(STATUS_PING, d), "EVENT:PING|CFO:1.23457e+06|MODE:0|CALL:ABC123   \n");
	EXPECT_EQ(d.reads, 3);
	EXPECT_EQ(d.fetches, 0);
}

TEST(EventLine, MessageIsEscapedAndEmptyWhenDecodingFailed)
{
	FakeDecoder d;
	d.flips = 3, d.payload = "line one\nEVENT:PING";
	EXPECT_EQ(event(STATUS_DONE, d), "EVENT:MESSAGE|FLIPS:3|PAYLOAD:line one\\nEVENT:PING\n");
	d.flips = -1, d.payload = "whitening noise";
	EXPECT_EQ(event(STATUS_DONE, d), "EVENT:MESSAGE|FLIPS:-1|PAYLOAD:\n");
	EXPECT_EQ(d.fetches, 2);
}

TEST(EventLine, StatusesWithoutResultsDoNotTouchTheReceiver)
{
	FakeDecoder d;
	EXPECT_EQ(event(STATUS_FAIL, d), "EVENT:PREAMBLE_FAIL\n");
	EXPECT_EQ(event(STATUS_HEAP, d), "EVENT:HEAP_ERROR\n");
	for (int status : {int(STATUS_OKAY), -1, 7, 1000}) EXPECT_EQ(event(status, d), "") << status;
	EXPECT_EQ(d.reads + d.fetches, 0);
	EXPECT_EQ(event(STATUS_HEAP, nullptr), "EVENT:HEAP_ERROR\n");
}

}

// The unescaper the output tests rely on takes nothing the escaping cannot write.
TEST(PayloadText, UnescapeRefusesWhatTheEscapingNeverWrites)
{
	EXPECT_EQ(unescape("a\\\\b\\n\\x1b\\x7f\xc3\xa4"), std::string("a\\b\n\x1b\x7f\xc3\xa4"));
	for (std::string text : {"\\x0a", "\\x41", "\\x1B", "\\x1", "\\", "\\q", "a\nb", "\\x00"})
		EXPECT_FALSE(unescape(text)) << text;
}
