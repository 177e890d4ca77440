#include <gtest/gtest.h>

#include <string>

#include "tests/program.hh"

namespace {

const std::string decode_stream = DECODE_STREAM;

std::string silence(int frames, int channels = 1) { return std::string(2 * frames * channels, '\0'); }

struct BadArguments
{
	const char *arguments, *message;
};

class DecodeStreamArguments : public testing::TestWithParam<BadArguments>
{
};

TEST_P(DecodeStreamArguments, AreRejectedWithMessageAndStatus1)
{
	ProgramResult r = run_program(decode_stream + " " + GetParam().arguments, silence(48000));
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, GetParam().message);
	EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(Unsupported, DecodeStreamArguments,
			 testing::Values(BadArguments{"800 4", "Unsupported sample rate: 800\n"},
					 BadArguments{"800", "Unsupported sample rate: 800\n"},
					 BadArguments{"8000 3", "Unsupported mapping\n"},
					 BadArguments{"48000 16 0", "Unsupported mapping\n"},
					 BadArguments{"0 0", "Unsupported sample rate: 0\n"},
					 BadArguments{"fast", "Unsupported sample rate: 0\n"},
					 BadArguments{"8000 four", "Unsupported mapping\n"},
					 BadArguments{"-48000", "Unsupported sample rate: -48000\n"}));

TEST(DecodeStream, EndsQuietlyOnEmptyOrSilentInput)
{
	for (const char *arguments : {"", "8000", "8000 2", "48000 8 1", "8000 4 4", "48000 2 7 extra"}) {
		for (int frames : {0, 1, 48000}) {
			ProgramResult r = run_program(decode_stream + " " + arguments, silence(frames, 2));
			EXPECT_EQ(r.status, 0) << arguments;
			EXPECT_EQ(r.out, "") << arguments;
			EXPECT_EQ(r.err, "") << arguments;
		}
	}
}

TEST(DecodeStream, HelpDescribesArgumentsEventsAndEscaping)
{
	for (const char *flag : {"-h", "--help"}) {
		ProgramResult r = run_program(decode_stream + " " + flag);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.err, "");
		for (const char *text : {"usage: decode_stream", "8000 or 48000", "2, 4 or 8", "in-phase/quadrature",
					 "EVENT:SYNC", "EVENT:MESSAGE", "EVENT:PING", "EVENT:NOPE", "EVENT:PREAMBLE_FAIL",
					 "EVENT:HEAP_ERROR", "\\xHH", "Exit status"})
			EXPECT_NE(r.out.find(text), std::string::npos) << text;
	}
}

// A clean 8000 Hz, mapping 2 burst with the text "hi", between silences.
std::string burst()
{
	static const std::string samples =
	    run_program(std::string(ENCODE_STREAM) + " --rate 8000 --mapping 2 --text hi --silence 0.6").out;
	return samples;
}

TEST(DecodeStream, WriteErrorIsReported)
{
	for (const char *arguments : {" --help", " 8000 2"}) {
		ProgramResult r = run_program(decode_stream + arguments, burst(), "/dev/full");
		EXPECT_EQ(r.status, 1) << arguments;
		EXPECT_EQ(r.err, "Write error: No space left on device\n") << arguments;
	}
}

TEST(DecodeStream, ReadErrorIsReported)
{
	ProgramResult r = run_program(decode_stream + " 8000 < /");
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "Read error: Is a directory\n");
	EXPECT_EQ(r.out, "");
}

TEST(DecodeStream, ReceiverIsRebuiltAfterAFailedAllocation)
{
	const std::string failing = DECODE_STREAM_FAILING_NEW;
	const std::string lines = "EVENT:SYNC|CFO:1500|MODE:16|CALL:N0CALL   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:hi\n";
	// The first receiver is missing: its blocks are dropped, the next one
	// takes both bursts, and nothing more is allocated.
	ProgramResult r = run_program("FAIL_ALLOCATIONS=1,3 " + failing + " 8000 2", burst() + burst());
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, "EVENT:HEAP_ERROR\n" + lines + lines);
}

TEST(DecodeStream, FailedReceiverAllocationIsReportedOnceAndRetried)
{
	const std::string failing = DECODE_STREAM_FAILING_NEW;
	for (const char *fail : {"1", "1,2", "1,2,3,4,5"}) {
		ProgramResult r = run_program("FAIL_ALLOCATIONS=" + std::string(fail) + " " + failing + " 8000 2",
					      silence(8000));
		EXPECT_EQ(r.status, 0) << fail;
		EXPECT_EQ(r.out, "EVENT:HEAP_ERROR\n") << fail;
		EXPECT_EQ(r.err, "") << fail;
	}
}

}
