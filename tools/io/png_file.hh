#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

// Writes width x height pixels 0xRRGGBB (row by row, top first) as an 8-bit
// RGB PNG to path, or to standard output for "-". On failure returns false
// with error holding the reason: the system's text for errno when a file
// operation failed, libpng's otherwise.
inline bool write_png(const char *path, int width, int height, const unsigned *pixels, std::string *error)
{
	std::vector<unsigned char> bytes(size_t(width) * height * 3);
	for (size_t i = 0; i < size_t(width) * height; ++i) {
		bytes[3 * i] = pixels[i] >> 16 & 255;
		bytes[3 * i + 1] = pixels[i] >> 8 & 255;
		bytes[3 * i + 2] = pixels[i] & 255;
	}
	bool to_stdout = std::strcmp(path, "-") == 0;
	errno = 0;
	FILE *file = to_stdout ? stdout : std::fopen(path, "wb");
	if (!file) {
		*error = std::strerror(errno);
		return false;
	}
	errno = 0;
	png_image image{};
	image.version = PNG_IMAGE_VERSION;
	image.width = width;
	image.height = height;
	image.format = PNG_FORMAT_RGB;
	bool written = png_image_write_to_stdio(&image, file, 0, bytes.data(), 0, nullptr);
	bool flushed = written && std::fflush(file) == 0;
	int flush_errno = errno;
	bool closed = to_stdout || std::fclose(file) == 0;
	if (written && flushed && closed) return true;
	if (written && !flushed) errno = flush_errno;
	*error = errno ? std::strerror(errno) : image.message;
	png_image_free(&image);
	return false;
}
