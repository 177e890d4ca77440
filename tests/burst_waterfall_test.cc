#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "tests/program.hh"
#include "tools/waterfall/waterfall_picture.hh"

namespace {

const std::string waterfall = BURST_WATERFALL, encode = ENCODE_STREAM;

// Whole blocks only, as the tool reads them.
void record(WaterfallRecorder &rec, const std::vector<short> &s)
{
	for (size_t i = 0; i + rec.block_samples() <= s.size(); i += rec.block_samples())
		rec.block(s.data() + i);
}

unsigned alpha(unsigned argb)
{
	return argb >> 24;
}

// A refused run leaves no file and nothing on standard output. OUT stands
// for a file in a fresh directory.
TEST(Waterfall, RefusalsLeaveNoFile)
{
	for (auto [arguments, status, message] :
	     {std::tuple{"8000", 2, "--out FILE is required (see --help)"},
	      {"8000 -n 1 -o OUT", 1, "invalid row count 1 (2 to 1000000)"},
	      {"8000 -o OUT < /", 1, "standard input: Is a directory"},
	      {"8000 -o /nonexistent/w.png", 1, "/nonexistent/w.png: No such file or directory"}}) {
		TempDir dir;
		std::string out = dir.file("w.png"), args = arguments;
		if (size_t at = args.find("OUT"); at != std::string::npos) args.replace(at, 3, out);
		ProgramResult r = run_program(waterfall + " " + args, std::string(32000, '\0'));
		EXPECT_EQ(r.err + std::to_string(r.status),
		          "burst_waterfall: " + std::string(message) + "\n" + std::to_string(status));
		EXPECT_TRUE(r.out.empty() && access(out.c_str(), F_OK) != 0) << args;
	}
}

// The PNG on standard output is the file's; its size is the picture's, two
// rows taller for every 180 ms of input.
TEST(Waterfall, PngMatchesThePictureAndGrowsWithTheRecording)
{
	TempDir dir;
	auto size = [](const std::string &png, int at) {
		return png.size() < 24 ? 0
		                       : int(uint8_t(png[at]) << 24 | uint8_t(png[at + 1]) << 16 |
		                             uint8_t(png[at + 2]) << 8 | uint8_t(png[at + 3]));
	};
	for (double seconds : {0.0, 1.8, 7.2}) {
		std::string pcm(2 * std::lround(seconds * 8000), '\0');
		ProgramResult file = run_program(waterfall + " 8000 --out " + dir.file("w.png"), pcm),
		              piped = run_program(waterfall + " -o - 8000", pcm);
		ASSERT_EQ(file.status + piped.status, 0) << file.err << piped.err;
		std::string png = read_file(dir.file("w.png"));
		EXPECT_TRUE(png == piped.out);
		EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
		WaterfallRecorder rec(8000, 4, 0);
		record(rec, samples_of(pcm));
		Picture pic = waterfall_picture(rec);
		EXPECT_EQ(rec.row_count(), std::lround(seconds / 0.09));
		EXPECT_EQ(size(png, 16), pic.width);
		EXPECT_EQ(size(png, 20), pic.height);
		EXPECT_EQ(pic.height, WaterfallLayout{0}.height() + rec.row_count());
	}
}

// A burst after 0.9 s of silence fills the columns of its carriers in the
// rows of its 1.08 s, is marked with its mode and call sign, and leaves the
// other rows dark; the other side of a stereo stream stays dark and unmarked.
TEST(WaterfallRecorder, BurstShowsAtItsTimeAndFrequency)
{
	for (auto [rate, centre, channel] : {std::tuple{8000, 1000.0, 0}, {48000, 2800.0, 1}}) {
		std::string send =
		    " -s 0.9 -C TEST1 -t hello -r " + std::to_string(rate) + " -c " + std::to_string(channel);
		std::vector<short> s =
		    samples_of(run_program(encode + send + " -f " + std::to_string(centre)).out);
		WaterfallRecorder rec(rate, 4, channel), other(rate, 4, 2);
		record(rec, s);
		if (channel) record(other, s);
		ASSERT_EQ(rec.row_count(), 32) << send; // 0.9 + 1.08 + 0.9 s
		int lo = int(std::ceil((centre - 800) / WaterfallLayout::hertz_per_column)) + 2;
		int hi = int(std::floor((centre + 793.75) / WaterfallLayout::hertz_per_column)) - 2;
		for (int row = 0; row < rec.row_count(); ++row) {
			int lit = 0, in_band = 0;
			for (int c = 0; c < rec.columns; ++c) {
				unsigned a = alpha(rec.row_pixels()[row * rec.columns + c]);
				lit += a > 0, in_band += c >= lo && c <= hi && a >= 0x80;
				ASSERT_EQ(channel ? alpha(other.row_pixels()[row * rec.columns + c]) : 0u, 0u)
				    << row;
			}
			EXPECT_TRUE((row >= 9 && row <= 23) || lit == 0) << send << ", row " << row;
			EXPECT_TRUE(row <= 10 || row >= 22 || in_band >= (hi - lo + 1) * 95 / 100)
			    << send << ", row " << row;
		}
		EXPECT_TRUE(other.marks().empty());
		ASSERT_EQ(rec.marks().size(), 2u);
		EXPECT_EQ(mark_text(rec.marks()[0]) + ", " + mark_text(rec.marks()[1]),
		          "SYNC 16 TEST1, DATA OK");
		EXPECT_TRUE(rec.marks()[0].row > 10 && rec.marks()[0].row < 22) << rec.marks()[0].row;
		EXPECT_TRUE(rec.marks()[1].row >= 21 && rec.marks()[1].row <= 26) << rec.marks()[1].row;
	}
}

// Past max_rows every two rows become one, as often as needed: each pixel
// the one of more alpha among the rows it stands for, marks at their halved
// rows, each row standing for twice the time.
TEST(WaterfallRecorder, MergesRowsToStayWithinTheLimit)
{
	// Noise throughout, so that both rows of every pair hold something.
	std::vector<short> s = samples_of(run_program(encode + " -r 8000 -s 2 -t hello").out);
	for (uint32_t i = 0, seed = 1; i < s.size(); ++i) s[i] += int((seed = seed * 1103515245 + 12345) >> 22) - 512;
	WaterfallRecorder full(8000, 4, 0), merged(8000, 4, 0, 7);
	record(full, s);
	record(merged, s);
	ASSERT_EQ(full.row_count(), 56);
	ASSERT_EQ(merged.row_count(), 7);
	EXPECT_DOUBLE_EQ(merged.row_seconds(), 8 * full.row_seconds());
	for (int row = 0; row < 7; ++row)
		for (int c = 0; c < full.columns; ++c) {
			unsigned strongest = 0;
			for (int r = 8 * row; r < 8 * row + 8; ++r)
				if (alpha(full.row_pixels()[r * full.columns + c]) > alpha(strongest))
					strongest = full.row_pixels()[r * full.columns + c];
			ASSERT_EQ(merged.row_pixels()[row * full.columns + c], strongest) << row << ", " << c;
		}
	ASSERT_EQ(merged.marks().size(), full.marks().size());
	for (size_t i = 0; i < full.marks().size(); ++i)
		EXPECT_EQ(merged.marks()[i].row, full.marks()[i].row / 8);
}

}
