#pragma once

#include <algorithm>
#include <cmath>

#include "dsp/complex.hh"
#include "modem/image.hh"

using SpectrumImage = Image<unsigned, 360, 128>;

// Display level of one bin: -96 dB and below map to 0, 0 dB (|X| = 1) and
// above to 1. The logarithm is ten square roots, (|X|^2)^(1/1024) = c, and
// the series 2 atanh((c - 1)/(c + 1)) = ln c, so no library logarithm runs
// per bin and the result is the same everywhere.
inline float spectrum_level(DSP::Complex<float> bin)
{
	float c = norm(bin);
	for (int i = 0; i < 10; ++i) c = std::sqrt(c);
	float d = (c - 1) / (c + 1);
	float e = d * d;
	float p = 1 + e * (0.33333334f + e * (0.2f + e * (0.14285715f + e * (0.11111111f + e * (0.09090909f + e * 0.07692308f)))));
	float decibels = 8894.3506f * d * p;
	return std::min(std::max((decibels + 96) / 96, 0.f), 1.f);
}

// Transparent black through blue, green and red as the level rises from 0 to 0.75.
inline unsigned spectrum_colour(float level)
{
	auto clamp01 = [](float x) { return std::min(std::max(x, 0.f), 1.f); };
	auto byte = [](float x) { return unsigned(std::nearbyint(255 * x)); };
	float t = 4 * level;
	float f = clamp01(t);
	unsigned alpha = byte(f);
	unsigned red = byte(std::sqrt(f * clamp01(t - 2)));
	unsigned green = byte(std::sqrt(f * clamp01(1 - std::abs(t - 2))));
	unsigned blue = byte(std::sqrt(f * clamp01(2 - t)));
	return alpha << 24 | red << 16 | green << 8 | blue;
}

// Line plot of 360 levels: level 1 in row 0, level 0 in row 127. Neighbouring
// columns are joined by a one-column Bresenham step that changes column about
// halfway along the rows between them.
inline void spectrum_plot(SpectrumImage plot, const float *levels, int colour)
{
	std::fill(plot.pixels, plot.pixels + plot.width * plot.height, 0u);
	unsigned line = unsigned(colour) | 0xff000000u;
	auto row = [&](int i) { return int(std::nearbyint((1 - levels[i]) * (plot.height - 1))); };
	for (int i = 0; i + 1 < plot.width; ++i) {
		int y0 = row(i), y1 = row(i + 1);
		if (y0 == y1) {
			plot.draw(i, y0, line, overwrite);
			plot.draw(i + 1, y0, line, overwrite);
			continue;
		}
		int x = y1 > y0 ? i : i + 1, step = y1 > y0 ? 1 : -1;
		int top = std::min(y0, y1), bottom = std::max(y0, y1), dy = bottom - top;
		for (int y = top, e = 2 - dy; y <= bottom; ++y, e += 2) {
			plot.draw(x, y, line, overwrite);
			if (e > 0) {
				x += step;
				e -= 2 * dy;
			}
		}
	}
}
