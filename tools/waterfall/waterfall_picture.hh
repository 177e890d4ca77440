#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/waterfall/bitmap_font.hh"
#include "tools/waterfall/waterfall_recorder.hh"

// An opaque picture: width x height pixels 0xRRGGBB, row by row, row 0 on top.
struct Picture
{
	int width, height;
	std::vector<unsigned> pixels;

	Picture(int width, int height, unsigned background)
	    : width(width), height(height), pixels(size_t(width) * height, background)
	{
	}

	// Drawing outside the picture is clipped.
	void set(int x, int y, unsigned rgb)
	{
		if (x >= 0 && x < width && y >= 0 && y < height) pixels[size_t(y) * width + x] = rgb;
	}

	// Lays 0xAARRGGBB over the pixel, alpha 255 being opaque.
	void blend(int x, int y, unsigned argb)
	{
		if (x < 0 || x >= width || y < 0 || y >= height) return;
		unsigned &p = pixels[size_t(y) * width + x];
		unsigned a = argb >> 24, out = 0;
		for (int shift = 0; shift < 24; shift += 8) {
			unsigned s = argb >> shift & 255, d = p >> shift & 255;
			out |= (s * a + d * (255 - a) + 127) / 255 << shift;
		}
		p = out;
	}

	void text(const std::string &s, int x, int y, unsigned rgb)
	{
		draw_text(s, x, y, [&](int u, int v) { set(u, v, rgb); });
	}
};

// Where things go: the waterfall (one picture row per spectrum row, time
// running down) with the frequency axis above it and again between it and
// the plot, time labels on the left, burst marks on the right.
struct WaterfallLayout
{
	static constexpr int columns = WaterfallRecorder::columns, plot_rows = SpectrumImage::height;
	static constexpr int left = 44, right = 112, axis = 16, bottom = 6;
	static constexpr double hertz_per_column = 4000.0 / columns;
	static constexpr unsigned background = 0x101018, ink = 0xC8C8C8, frame = 0x606070, grid = 0x30303C;

	int rows;

	int width() const { return left + columns + right; }
	int waterfall_top() const { return axis; }
	int plot_top() const { return axis + rows + axis; }
	int height() const { return plot_top() + plot_rows + bottom; }
};

// Seconds between time labels: the shortest of a few round steps that keeps
// labels at least 20 rows apart.
inline int time_label_step(double row_seconds)
{
	for (int step : {1, 2, 5, 10, 20, 30, 60, 120, 300, 600, 1200, 1800})
		if (step / row_seconds >= 20) return step;
	return 3600;
}

inline std::string mark_text(const WaterfallMark &m)
{
	switch (m.status) {
	case STATUS_SYNC: return "SYNC " + std::to_string(m.mode) + " " + m.call_sign;
	case STATUS_NOPE: return "NOPE " + std::to_string(m.mode) + " " + m.call_sign;
	case STATUS_PING: return "PING " + m.call_sign;
	case STATUS_DONE: return m.flips < 0 ? "DATA FAIL" : "DATA OK";
	case STATUS_FAIL: return "PREAMBLE FAIL";
	case STATUS_HEAP: return "NO MEMORY";
	}
	return "STATUS " + std::to_string(m.status);
}

inline unsigned mark_colour(const WaterfallMark &m)
{
	switch (m.status) {
	case STATUS_SYNC: return 0xFFFFFF;
	case STATUS_PING: return 0xFFD040;
	case STATUS_NOPE: return 0xFF9040;
	case STATUS_DONE: return m.flips < 0 ? 0xFF6060 : 0x60FF60;
	}
	return 0xA0A0A0;
}

// Ticks and labels every 1000 Hz (500 Hz ticks unlabelled) along the
// frequency axis whose tick marks end at row y.
inline void draw_frequency_axis(Picture &pic, const WaterfallLayout &lay, int y, bool ticks_down)
{
	for (int hz = 0; hz <= 4000; hz += 500) {
		int x = lay.left + int(std::lround(hz / lay.hertz_per_column));
		int length = hz % 1000 ? 2 : 4;
		for (int i = 0; i < length; ++i) pic.set(x, ticks_down ? y - i : y + i, lay.frame);
		if (hz % 1000) continue;
		std::string label = std::to_string(hz);
		int text_y = ticks_down ? y - length - glyph_height - 1 : y + length + 1;
		pic.text(label, x - text_width(label) / 2, text_y, lay.ink);
		if (hz == 4000) pic.text("Hz", x + text_width(label) / 2 + 5, text_y, lay.ink);
	}
}

inline void draw_time_axis(Picture &pic, const WaterfallLayout &lay, double row_seconds)
{
	int step = time_label_step(row_seconds);
	for (int t = 0;; t += step) {
		int row = int(std::lround(t / row_seconds));
		if (row >= lay.rows) break;
		int y = lay.waterfall_top() + row;
		for (int x = lay.left - 4; x < lay.left - 1; ++x) pic.set(x, y, lay.frame);
		std::string label = std::to_string(t) + " s";
		pic.text(label, lay.left - 6 - text_width(label), y - glyph_height / 2, lay.ink);
	}
}

// A tick at the mark's row in the right margin and its text beside it; a
// label that would overlap the one above moves down.
inline void draw_marks(Picture &pic, const WaterfallLayout &lay, const std::vector<WaterfallMark> &marks)
{
	int x = lay.left + lay.columns + 1, free_y = 0;
	for (const WaterfallMark &m : marks) {
		int y = lay.waterfall_top() + m.row;
		unsigned colour = mark_colour(m);
		for (int i = 0; i < 4; ++i) pic.set(x + i, y, colour);
		int text_y = std::max(y - glyph_height / 2, free_y);
		pic.text(mark_text(m), x + 6, text_y, colour);
		free_y = text_y + glyph_height + 2;
	}
}

// Plot grid at every 1000 Hz and at 0, -48 and -96 dB, with level labels.
inline void draw_plot_frame(Picture &pic, const WaterfallLayout &lay)
{
	int top = lay.plot_top();
	for (int hz = 1000; hz < 4000; hz += 1000)
		for (int y = 0; y < lay.plot_rows; ++y)
			pic.set(lay.left + int(std::lround(hz / lay.hertz_per_column)), top + y, lay.grid);
	for (int db : {0, -48, -96}) {
		int y = top + int(std::nearbyint((-db / 96.f) * (lay.plot_rows - 1)));
		for (int x = 0; x < lay.columns; ++x) pic.set(lay.left + x, y, lay.grid);
		std::string label = std::to_string(db) + " dB";
		pic.text(label, lay.left - 6 - text_width(label), y - glyph_height / 2, lay.ink);
	}
}

// A one-pixel frame just outside the area at (x, y) of size w x h.
inline void draw_frame(Picture &pic, int x, int y, int w, int h, unsigned rgb)
{
	for (int i = -1; i <= w; ++i) pic.set(x + i, y - 1, rgb), pic.set(x + i, y + h, rgb);
	for (int j = 0; j < h; ++j) pic.set(x - 1, y + j, rgb), pic.set(x + w, y + j, rgb);
}

// The whole recording: spectrum rows over a dark background, the axes, the
// marks and the last spectrum plot.
inline Picture waterfall_picture(const WaterfallRecorder &rec)
{
	WaterfallLayout lay{rec.row_count()};
	Picture pic(lay.width(), lay.height(), lay.background);
	for (int y = 0; y < lay.rows; ++y)
		for (int x = 0; x < lay.columns; ++x)
			pic.blend(lay.left + x, lay.waterfall_top() + y, rec.row_pixels()[size_t(y) * lay.columns + x]);
	draw_plot_frame(pic, lay);
	for (int y = 0; y < lay.plot_rows; ++y)
		for (int x = 0; x < lay.columns; ++x)
			pic.blend(lay.left + x, lay.plot_top() + y, rec.plot()[y * lay.columns + x]);
	draw_frame(pic, lay.left, lay.waterfall_top(), lay.columns, lay.rows, lay.frame);
	draw_frame(pic, lay.left, lay.plot_top(), lay.columns, lay.plot_rows, lay.frame);
	draw_frequency_axis(pic, lay, lay.waterfall_top() - 2, true);
	draw_frequency_axis(pic, lay, lay.waterfall_top() + lay.rows + 1, false);
	draw_time_axis(pic, lay, rec.row_seconds());
	draw_marks(pic, lay, rec.marks());
	return pic;
}
