#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>
#include <sys/mman.h>
#include <set>
#include <string>
#include <vector>

#include "api/ofdm_burst.h"
#include "tests/program.hh"
#include "tests/replaced_new.hh"

// Allocations that may still succeed before one is refused; -1: no refusal.
static int allowed_allocations = -1;

static bool refuse_allocation(bool) { return allowed_allocations >= 0 && allowed_allocations-- == 0; }

namespace {

const std::string example = read_file(SOURCE_DIR "/examples/bursts_48000_4.s16");
const std::vector<int16_t> mono = samples_of<int16_t>(example);
const std::string expected_lines = run_program(DECODE_STREAM " 48000 4", example).out;

// What a handler saw: the events' lines and frames while each was valid,
// and the mapping of each MESSAGE.
struct Decoded
{
	std::string lines;
	std::vector<uint64_t> frames;
	std::vector<int> mappings;
	ofdm_burst_event last;
};

void collect(const ofdm_burst_event *event, void *decoded)
{
	Decoded &d = *static_cast<Decoded *>(decoded);
	char line[1024];
	ofdm_burst_event_line(event, line, sizeof line);
	d.lines += line + std::string("\n");
	d.frames.push_back(event->frame);
	if (event->kind == OFDM_BURST_MESSAGE) d.mappings.push_back(event->mapping);
	d.last = *event;
}

// Frames of one or two values, fed in chunks of the sizes chunk() gives.
template <typename Chunk>
Decoded decode(const std::vector<int16_t> &samples, int channel, Chunk chunk, int mapping = 4)
{
	Decoded decoded;
	ofdm_burst_receiver *rx = ofdm_burst_receiver_create(48000, mapping, channel, nullptr);
	const size_t width = channel ? 2 : 1, frames = samples.size() / width;
	for (size_t at = 0, n; at < frames; at += n) {
		n = std::min(chunk(), frames - at);
		EXPECT_EQ(ofdm_burst_receiver_feed(rx, samples.data() + at * width, n, collect, &decoded), 0);
	}
	EXPECT_EQ(ofdm_burst_receiver_finish(rx, collect, &decoded), 0);
	ofdm_burst_receiver_destroy(rx);
	return decoded;
}

TEST(Api, AnyChunkingGivesDecodeStreamsLinesAtBlockEnds)
{
	ASSERT_EQ(std::count(expected_lines.begin(), expected_lines.end(), '\n'), 7);
	std::mt19937 random(1);
	for (size_t size : {1, 7, 959, 4097, 0}) { // 0: random sizes, empty chunks among them
		Decoded d = decode(mono, 0, [&] { return size ? size : random() % 3000; });
		EXPECT_EQ(d.lines, expected_lines) << size;
		// Strictly increasing, each at the end of a 20 ms block.
		EXPECT_TRUE(std::is_sorted(d.frames.begin(), d.frames.end(), std::less_equal<>())) << size;
		for (uint64_t frame : d.frames) EXPECT_EQ(frame % (48000 / 50), 0u);
	}
}

TEST(Api, ChannelSelectionTakesTheChosenValuesOfEachFrame)
{
	for (int channel : {1, 2, 3}) {
		std::vector<int16_t> stereo(2 * mono.size());
		for (size_t i = 0; i < mono.size(); ++i) {
			stereo[2 * i] = channel != 2 ? mono[i] : 0;
			stereo[2 * i + 1] = channel != 1 ? mono[i] : 0;
		}
		EXPECT_EQ(decode(stereo, channel, [] { return size_t(1001); }).lines, expected_lines) << channel;
	}
}

TEST(Api, BadArgumentsGiveNullAndTheirError)
{
	struct { int rate, mapping, channel, error; } cases[] = {{0, 4, 0, OFDM_BURST_ERROR_RATE},
		{44100, 4, 0, OFDM_BURST_ERROR_RATE}, {-48000, 2, 0, OFDM_BURST_ERROR_RATE},
		{8000, 3, 0, OFDM_BURST_ERROR_MAPPING}, {48000, 16, 4, OFDM_BURST_ERROR_MAPPING},
		{48000, 4, -1, OFDM_BURST_ERROR_CHANNEL}, {8000, 8, 5, OFDM_BURST_ERROR_CHANNEL}};
	int error = -1;
	for (auto c : cases) {
		EXPECT_EQ(ofdm_burst_receiver_create(c.rate, c.mapping, c.channel, &error), nullptr);
		EXPECT_EQ(error, c.error) << c.rate << ' ' << c.mapping << ' ' << c.channel;
		EXPECT_EQ(ofdm_burst_receiver_create(c.rate, c.mapping, c.channel, nullptr), nullptr);
	}
	for (int demodulator : {-1, 2}) {
		EXPECT_EQ(ofdm_burst_receiver_create_ex(8000, 4, 0, demodulator, &error), nullptr);
		EXPECT_EQ(error, OFDM_BURST_ERROR_DEMODULATOR);
	}
	// No memory for the receiver, then for its decoder, or for any of the
	// three decoders of any mapping.
	for (auto [mapping, allowed] : {std::pair{2, 0}, {2, 1}, {0, 1}, {0, 2}, {0, 3}}) {
		allowed_allocations = allowed;
		ofdm_burst_receiver *rx = ofdm_burst_receiver_create(8000, mapping, 0, &error);
		allowed_allocations = -1;
		EXPECT_EQ(rx, nullptr) << mapping << " " << allowed;
		EXPECT_EQ(error, OFDM_BURST_ERROR_MEMORY) << mapping << " " << allowed;
	}
	ofdm_burst_receiver *rx = ofdm_burst_receiver_create(8000, 8, 4, &error);
	ASSERT_NE(rx, nullptr);
	EXPECT_EQ(error, 0);
	int16_t samples[2] = {};
	EXPECT_EQ(ofdm_burst_receiver_feed(nullptr, samples, 1, nullptr, nullptr), OFDM_BURST_ERROR_ARGUMENT);
	EXPECT_EQ(ofdm_burst_receiver_feed(rx, nullptr, 1, nullptr, nullptr), OFDM_BURST_ERROR_ARGUMENT);
	EXPECT_EQ(ofdm_burst_receiver_feed(rx, nullptr, 0, nullptr, nullptr), 0);
	EXPECT_EQ(ofdm_burst_receiver_feed(rx, samples, 1, nullptr, nullptr), 0);
	EXPECT_EQ(ofdm_burst_receiver_finish(nullptr, nullptr, nullptr), OFDM_BURST_ERROR_ARGUMENT);
	EXPECT_EQ(ofdm_burst_receiver_finish(rx, nullptr, nullptr), 0);
	ofdm_burst_receiver_destroy(rx);
	ofdm_burst_receiver_destroy(nullptr);
}

TEST(Api, TheEnhancedDemodulatorGivesDecodeStreamsEnhancedLines)
{
	const std::string enhanced_lines = run_program(DECODE_STREAM " --demod enhanced 48000 4", example).out;
	Decoded d;
	ofdm_burst_receiver *rx = ofdm_burst_receiver_create_ex(48000, 4, 0, OFDM_BURST_DEMOD_ENHANCED, nullptr);
	ASSERT_NE(rx, nullptr);
	EXPECT_EQ(ofdm_burst_receiver_feed(rx, mono.data(), mono.size(), collect, &d), 0);
	EXPECT_EQ(ofdm_burst_receiver_finish(rx, collect, &d), 0);
	ofdm_burst_receiver_destroy(rx);
	EXPECT_EQ(d.lines, enhanced_lines);
	// The corrected bits differ on these bursts: the choice reaches the receiver.
	EXPECT_NE(enhanced_lines, expected_lines);
}

// The recording's bursts are of mapping 4: a receiver for any mapping prints
// the lines decode_stream prints for any and for 4, and names the mapping of
// each payload; one of mapping 2 decodes none of them and names none.
TEST(Api, AnyMappingNamesTheMappingOfEachPayload)
{
	const std::string any_lines = run_program(DECODE_STREAM " 48000 any", example).out;
	EXPECT_EQ(any_lines, expected_lines);
	Decoded any = decode(mono, 0, [] { return size_t(4097); }, OFDM_BURST_MAPPING_ANY);
	EXPECT_EQ(any.lines, any_lines);
	EXPECT_EQ(any.mappings, std::vector<int>(3, 4));
	EXPECT_EQ(decode(mono, 0, [] { return size_t(4097); }).mappings, std::vector<int>(3, 4));
	EXPECT_EQ(decode(mono, 0, [] { return size_t(4097); }, 2).mappings, std::vector<int>(3, 0));
}

// A program built before mapping was appended may hand the library a copy of
// the shorter structure: the line is made without reading past it (a page
// that cannot be read follows it here).
TEST(Api, EventLineReadsNothingAfterTheOlderStructure)
{
	const ofdm_burst_event message = decode(mono, 0, [] { return size_t(48000); }).last;
	const size_t page = size_t(sysconf(_SC_PAGESIZE)), older = offsetof(ofdm_burst_event, mapping);
	char *pages = static_cast<char *>(
	    mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
	ASSERT_NE(pages, MAP_FAILED);
	ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
	char *copy = pages + page - older;
	std::memcpy(copy, &message, older);
	char line[1024], want[1024];
	ofdm_burst_event_line(&message, want, sizeof want);
	ofdm_burst_event_line(reinterpret_cast<const ofdm_burst_event *>(copy), line, sizeof line);
	EXPECT_STREQ(line, want);
	munmap(pages, 2 * page);
}

TEST(Api, EveryErrorHasItsOwnMessageAndTheVersionIsTheProjects)
{
	std::set<std::string> messages; // no error, six errors, and one for unknown codes
	for (int error = -1; error <= 7; ++error) messages.insert(ofdm_burst_strerror(error));
	EXPECT_EQ(messages.size(), 8u);
	EXPECT_EQ(messages.count(""), 0u);
	EXPECT_STREQ(ofdm_burst_version(), PROJECT_VERSION);
}

TEST(Api, EventLineTruncatesAsSnprintfAndReturnsTheWholeLength)
{
	const ofdm_burst_event message = decode(mono, 0, [] { return size_t(48000); }).last;
	const std::string full = expected_lines.substr(expected_lines.rfind('\n', expected_lines.size() - 2) + 1);
	const size_t length = full.size() - 1;
	EXPECT_EQ(ofdm_burst_event_line(&message, nullptr, 0), length);
	for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(17), length, length + 1}) {
		std::string buffer(length + 8, '#');
		EXPECT_EQ(ofdm_burst_event_line(&message, buffer.data(), size), length) << size;
		std::string written = size ? full.substr(0, std::min(size - 1, length)) + '\0' : "";
		EXPECT_EQ(buffer, written + std::string(buffer.size() - written.size(), '#')) << size;
	}
}

}
