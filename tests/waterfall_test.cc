#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/program.hh"
#include "tools/waterfall_picture.hh"

namespace {

const std::string waterfall = WATERFALL, encode_stream = ENCODE_STREAM;

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

// Bad arguments, input or output fail cleanly: status 1, the message, nothing on standard output and no file.
// OUT stands for a file in a fresh directory; a redirection among the arguments wins.
TEST(Waterfall, FailuresExitOneWithAMessageAndNoFile)
{
	const char *full = "Write error: No space left on device\n";
	struct Case
	{
		std::string arguments, message;
		const char *output = ""; // standard output, collected when empty
	} cases[] = {{"8000", "waterfall: --out FILE is required (see --help)\n"},
	             {"8000 --out", "waterfall: --out needs a file name\n"},
	             {"8000 --out=", "waterfall: --out needs a file name\n"},
	             {"8000 --out OUT --frob", "waterfall: unknown option: --frob (see --help)\n"},
	             {"44100 --out OUT", "Unsupported sample rate: 44100\n"},
	             {"--out OUT eight", "Unsupported sample rate: 0\n"},
	             {"7 3 --out OUT", "Unsupported sample rate: 7\n"},
	             {"8000 3 --out OUT", "Unsupported mapping\n"},
	             {"48000 0 --out OUT", "Unsupported mapping\n"},
	             {"8000 --out OUT < /", "Read error: Is a directory\n"},
	             {"--help", full, "/dev/full"},
	             {"8000 --out /dev/full", full},
	             {"8000 --out /nonexistent/w.png", "Write error: No such file or directory\n"}};
	for (Case &c : cases) {
		TempDir dir;
		std::string out = dir.file("w.png");
		if (size_t at = c.arguments.find("OUT"); at != std::string::npos)
			c.arguments.replace(at, 3, out);
		ProgramResult r = run_program("(" + waterfall + " " + c.arguments + ")",
		                              std::string(32000, '\0'), c.output);
		EXPECT_EQ(r.status, 1) << c.arguments;
		EXPECT_EQ(r.err, c.message) << c.arguments;
		EXPECT_EQ(r.out, "") << c.arguments;
		EXPECT_NE(access(out.c_str(), F_OK), 0) << c.arguments;
	}
}

// --help wins wherever it stands.
TEST(Waterfall, HelpWhereverItStandsExitsZero)
{
	for (const char *args : {"--help", "-h", "8000 --help", "--out x --help"}) {
		ProgramResult r = run_program(waterfall + " " + args);
		EXPECT_EQ(r.status, 0) << args;
		EXPECT_NE(r.out.find("--out FILE"), std::string::npos) << args;
		EXPECT_EQ(r.err, "") << args;
	}
}

uint32_t big_endian(const std::string &s, size_t at)
{
	return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
	       uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

uint32_t crc32(const std::string &s, size_t at, size_t size)
{
	uint32_t crc = 0xFFFFFFFF;
	for (size_t i = at; i < at + size; ++i) {
		crc ^= uint8_t(s[i]);
		for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xEDB88320 & -(crc & 1));
	}
	return ~crc;
}

// Width and height of a PNG file, 0 when it has no header chunk first and end chunk last. Checks the
// signature, chunk order and every chunk CRC; the header is 8-bit RGB, not interlaced, and the image data
// starts a zlib stream.
std::pair<uint32_t, uint32_t> check_png(const std::string &png)
{
	uint32_t width = 0, height = 0;
	EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
	std::vector<std::string> types;
	std::string idat;
	for (size_t at = 8; at + 12 <= png.size();) {
		uint32_t length = big_endian(png, at);
		if (at + 12 + length > png.size()) break;
		std::string type = png.substr(at + 4, 4);
		EXPECT_EQ(crc32(png, at + 4, 4 + length), big_endian(png, at + 8 + length)) << type;
		if (type == "IHDR" && length == 13) {
			width = big_endian(png, at + 8), height = big_endian(png, at + 12);
			EXPECT_EQ(png.substr(at + 16, 5), std::string("\x08\x02\x00\x00\x00", 5));
		}
		if (type == "IDAT") idat += png.substr(at + 8, length);
		if (types.empty() || types.back() != type) types.push_back(type);
		at += 12 + length;
	}
	EXPECT_GE(types.size(), 3u);
	if (types.size() < 3) return {0, 0};
	EXPECT_EQ(types.front(), "IHDR");
	EXPECT_EQ(types.back(), "IEND");
	EXPECT_EQ(std::count(types.begin(), types.end(), "IDAT"), 1)
	    << "image data chunks must be consecutive";
	EXPECT_GE(idat.size(), 2u);
	if (idat.size() >= 2) {
		EXPECT_EQ(uint8_t(idat[0]) & 15, 8) << "deflate";
		EXPECT_EQ((uint8_t(idat[0]) << 8 | uint8_t(idat[1])) % 31, 0) << "zlib header check";
	}
	if (types.front() != "IHDR" || types.back() != "IEND") return {0, 0};
	return {width, height};
}

std::string burst_command(int rate, double silence, const char *more = "")
{
	return encode_stream + " --rate " + std::to_string(rate) + " --silence " + std::to_string(silence) +
	       " --call TEST1 " + more;
}

// The file's header matches the picture built in process from the same samples, and the picture grows by two
// rows per whole 180 ms period.
TEST(Waterfall, PngHeaderMatchesThePictureAndGrowsWithTheRecording)
{
	TempDir dir;
	uint32_t empty_height = 0;
	for (double silence : {-1.0, 0.5, 2.0, 4.5}) {
		std::string pcm =
		    silence < 0 ? "" : run_program(burst_command(8000, silence, "--mode ping")).out;
		std::string out = dir.file("w.png");
		ProgramResult r = run_program(waterfall + " 8000 --out " + out, pcm);
		ASSERT_EQ(r.status, 0) << r.err;
		EXPECT_EQ(r.out + r.err, "");
		auto [width, height] = check_png(read_file(out));
		ASSERT_GT(width, 0u);
		WaterfallRecorder rec(8000, 4, 0);
		record(rec, samples_of(pcm));
		Picture pic = waterfall_picture(rec);
		EXPECT_EQ(width, uint32_t(pic.width));
		EXPECT_EQ(height, uint32_t(pic.height));
		size_t whole_blocks = pcm.size() / 2 / 160;
		int rows = 2 * int(whole_blocks * 160 / 1440);
		EXPECT_EQ(rec.row_count(), rows) << silence;
		if (silence < 0)
			empty_height = height;
		else
			EXPECT_EQ(height - empty_height, uint32_t(rows)) << silence;
	}
}

class WaterfallRates : public testing::TestWithParam<int>
{
};

// Silence gives two transparent rows per period, whole periods only, and a flat plot line in the bottom row.
TEST_P(WaterfallRates, SilenceGivesTwoTransparentRowsPerPeriod)
{
	int rate = GetParam(), period = rate * 9 / 50;
	for (int periods : {0, 1, 7}) {
		WaterfallRecorder rec(rate, 4, 0);
		record(rec, std::vector<short>(periods * period + period - rate / 50, 0));
		EXPECT_DOUBLE_EQ(rec.row_seconds(), 0.09);
		ASSERT_EQ(rec.row_count(), 2 * periods);
		EXPECT_TRUE(rec.marks().empty());
		for (int i = 0; i < rec.row_count() * rec.columns; ++i)
			ASSERT_EQ(rec.row_pixels()[i], 0u) << i;
		for (int y = 0; y < SpectrumImage::height; ++y)
			for (int x = 0; x < rec.columns; ++x)
				ASSERT_EQ(rec.plot()[y * rec.columns + x],
				          periods && y == 127 ? 0xFF000000u | rec.plot_colour : 0u)
				    << x << "," << y;
	}
}

INSTANTIATE_TEST_SUITE_P(Rates, WaterfallRates, testing::Values(8000, 48000));

struct Burst
{
	int rate;
	double centre; // Hz
	int channel;   // 0 mono, 1 left of a stereo stream
};

std::ostream &operator<<(std::ostream &out, const Burst &b)
{
	return out << b.rate << " Hz, centre " << b.centre << ", channel " << b.channel;
}

class WaterfallBurst : public testing::TestWithParam<Burst>
{
};

// A burst sent after 0.9 s of silence (five periods, so that every newer row of a period covers exactly one
// extended block) fills the columns of its carriers, centre - 800 Hz to centre + 793.75 Hz, in the rows of
// its six blocks, is marked with its mode and call sign, and leaves every other row of the picture at the
// background colour. A burst in the left channel leaves the right one dark and unmarked.
TEST_P(WaterfallBurst, ShowsAtItsTimeAndFrequency)
{
	auto [rate, centre, channel] = GetParam();
	std::string more =
	    "--freq " + std::to_string(centre) + " --text hello --channel " + std::to_string(channel);
	std::vector<short> s = samples_of(run_program(burst_command(rate, 0.9, more.c_str())).out);
	if (channel) {
		WaterfallRecorder right(rate, 4, 2);
		record(right, s);
		EXPECT_EQ(right.row_count(), 32);
		EXPECT_TRUE(right.marks().empty());
		for (int i = 0; i < right.row_count() * right.columns; ++i)
			ASSERT_EQ(alpha(right.row_pixels()[i]), 0u) << i;
	}
	WaterfallRecorder rec(rate, 4, channel);
	record(rec, s);
	ASSERT_EQ(rec.row_count(), 32); // 0.9 + 1.08 + 0.9 s
	int lo = int(std::ceil((centre - 800) / WaterfallLayout::hertz_per_column));
	int hi = int(std::floor((centre + 793.75) / WaterfallLayout::hertz_per_column));
	int first = int(std::lround(0.9 / rec.row_seconds())),
	    last = first + 12; // window centres at block edges
	for (int row = 0; row < rec.row_count(); ++row) {
		const unsigned *p = rec.row_pixels() + row * rec.columns;
		int in_band = 0, out_of_band = 0, lit = 0;
		for (int c = 0; c < rec.columns; ++c) {
			lit += alpha(p[c]) > 0;
			if (c >= lo + 2 && c <= hi - 2) in_band += alpha(p[c]) >= 0x80;
			if (c < lo - 8 || c > hi + 8) out_of_band += alpha(p[c]) > 0;
		}
		if (row < first - 1 || row > last + 1) {
			EXPECT_EQ(lit, 0) << "silent row " << row;
		}
		if (row > first && row < last) {
			EXPECT_GE(in_band, (hi - lo - 3) * 95 / 100) << "row " << row;
		}
		if (row > first && row < last && (row - first) % 2) {
			EXPECT_EQ(out_of_band, 0) << "row " << row;
		}
	}

	ASSERT_EQ(rec.marks().size(), 2u);
	const WaterfallMark &sync = rec.marks()[0], &done = rec.marks()[1];
	EXPECT_EQ(sync.status, STATUS_SYNC);
	EXPECT_EQ(sync.mode, 16);
	EXPECT_EQ(sync.call_sign, "TEST1");
	EXPECT_EQ(mark_text(sync), "SYNC 16 TEST1");
	EXPECT_GT(sync.row, first);
	EXPECT_LT(sync.row, last);
	EXPECT_EQ(done.status, STATUS_DONE);
	EXPECT_EQ(done.flips, 0);
	EXPECT_GE(done.row, last - 1);
	EXPECT_LE(done.row, last + 4);

	Picture pic = waterfall_picture(rec);
	WaterfallLayout lay{rec.row_count()};
	ASSERT_EQ(pic.width, lay.width());
	ASSERT_EQ(pic.height, lay.height());
	for (int row = 0; row < rec.row_count(); ++row)
		for (int c = 0; c < rec.columns; ++c) {
			unsigned argb = rec.row_pixels()[row * rec.columns + c];
			unsigned shown =
			    pic.pixels[size_t(lay.waterfall_top() + row) * pic.width + lay.left + c];
			if (alpha(argb) == 0) {
				ASSERT_EQ(shown, lay.background) << c << "," << row;
			}
			if (alpha(argb) == 255) {
				ASSERT_EQ(shown, argb & 0xFFFFFF) << c << "," << row;
			}
		}
	// Each mark's text starts in the right margin within four rows of its row.
	for (const WaterfallMark &m : rec.marks()) {
		int found = 0;
		for (int y = m.row - 4; y <= m.row + 4; ++y)
			for (int x = lay.left + lay.columns + 6; x < pic.width; ++x)
				found += pic.pixels[size_t(lay.waterfall_top() + y) * pic.width + x] ==
				         mark_colour(m);
		EXPECT_GT(found, 20) << mark_text(m);
	}
}

INSTANTIATE_TEST_SUITE_P(Bands, WaterfallBurst,
                         testing::Values(Burst{8000, 1000, 0}, Burst{8000, 2500, 1}, Burst{48000, 1500, 1},
                                         Burst{48000, 2800, 0}));

// Alpha blending rounds as the background shows through; drawing outside is clipped.
TEST(WaterfallPicture, BlendLaysAlphaOverTheBackground)
{
	// Background, colour laid over it, result.
	const unsigned cases[][3] = {{0x101018, 0x00FFFFFF, 0x101018},
	                             {0x101018, 0xFF123456, 0x123456},
	                             {0x000000, 0x80FFFFFF, 0x808080},
	                             {0xFFFFFF, 0x80000000, 0x7F7F7F},
	                             {0x102030, 0x40FF0000, 0x4C1824}};
	for (auto [under, argb, want] : cases) {
		Picture pic(1, 1, under);
		pic.blend(0, 0, argb);
		EXPECT_EQ(pic.pixels[0], want) << std::hex << argb;
	}
	Picture pic(2, 2, 7);
	pic.set(-1, 0, 1), pic.set(2, 0, 1), pic.set(0, 2, 1), pic.blend(0, -1, 0xFF000001);
	EXPECT_EQ(pic.pixels, std::vector<unsigned>(4, 7));
}

// Labels every 20 rows at least, and the shortest round step that does so.
TEST(WaterfallPicture, TimeLabelStep)
{
	const int steps[] = {1, 2, 5, 10, 20, 30, 60, 120, 300, 600, 1200, 1800, 3600};
	for (double row_seconds : {0.01, 0.05, 0.09, 0.5, 1.0, 7.0, 60.0}) {
		int step = time_label_step(row_seconds);
		EXPECT_GE(step / row_seconds, 20) << row_seconds;
		const int *at = std::find(std::begin(steps), std::end(steps), step);
		ASSERT_NE(at, std::end(steps));
		if (at != steps) {
			EXPECT_LT(at[-1] / row_seconds, 20) << row_seconds;
		}
	}
	EXPECT_EQ(time_label_step(0.09), 2);
}

// Every character a label or call sign needs is in the font, each glyph is different and stays inside its 5 x
// 7 cell.
TEST(BitmapFont, CoversLabelsWithDistinctGlyphsInTheirCells)
{
	std::string needed = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ -.Hzsd";
	for (char c : needed) EXPECT_EQ(glyph(c).c, c) << c;
	EXPECT_EQ(glyph('~').c, '?');
	EXPECT_EQ(glyph('a').c, '?');
	std::set<std::string> shapes;
	for (const Glyph &g : glyphs) {
		shapes.insert(std::string(g.rows, g.rows + glyph_height));
		for (uint8_t row : g.rows) EXPECT_LT(row, 1 << glyph_width) << g.c;
	}
	EXPECT_EQ(shapes.size(), std::size(glyphs));
	EXPECT_EQ(text_width(""), 0);
	EXPECT_EQ(text_width("8"), 5);
	EXPECT_EQ(text_width("4000 Hz"), 41);
	int inside = 0, outside = 0;
	draw_text(needed, 3, 4, [&](int x, int y) {
		bool in = x >= 3 && x < 3 + text_width(needed) && y >= 4 && y < 4 + glyph_height &&
		          (x - 3) % glyph_advance < glyph_width;
		(in ? inside : outside)++;
	});
	EXPECT_EQ(outside, 0);
	EXPECT_GT(inside, 10 * int(needed.size()));
}

}
