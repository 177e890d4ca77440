#pragma once

// A caller's pixel buffer: WIDTH x HEIGHT pixels stored row by row, row 0 at
// the top. Drawing outside the buffer is clipped.
template <typename PIXEL, int WIDTH, int HEIGHT>
struct Image
{
	static constexpr int width = WIDTH, height = HEIGHT;
	PIXEL *pixels;

	explicit Image(PIXEL *pixels) : pixels(pixels) {}

	PIXEL &operator()(int x, int y) { return pixels[y * WIDTH + x]; }

	// rule(x, y, old, colour) gives the pixel's new value.
	template <typename RULE>
	void draw(int x, int y, PIXEL colour, RULE rule)
	{
		if (x < 0 || x >= WIDTH || y < 0 || y >= HEIGHT) return;
		PIXEL &p = (*this)(x, y);
		p = rule(x, y, p, colour);
	}
};

// Plain replacement.
inline constexpr auto overwrite = [](int, int, auto, auto colour) { return colour; };
