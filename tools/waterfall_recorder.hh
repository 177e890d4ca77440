#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "modem/spectrum.hh"
#include "stream/stream_receiver.hh"

// What the receiver reported at one period.
struct WaterfallMark
{
	int row;               // newest spectrum row of the period the status came with
	int status;            // a Status value other than STATUS_OKAY
	int mode;              // mode for SYNC, NOPE and PING; -1 otherwise
	int flips;             // corrected bits for DONE; 0 otherwise
	std::string call_sign; // call sign without padding spaces; empty for other statuses
};

// Runs a stream through the stream layer, as decode_stream does, and keeps
// two spectrum rows per period in time order, the events and the latest
// spectrum plot.
class WaterfallRecorder final : StreamListener
{
public:
	static constexpr int columns = SpectrumImage::width; // 0 Hz to 4 kHz
	static constexpr unsigned plot_colour = 0xF0E060;    // RGB of the plot line

	// rate and mapping must pass check_variant.
	WaterfallRecorder(int rate, int mapping, int channel)
	    : stream(rate, mapping, channel), period_length(rate * 9 / 50), plot_pixels(columns * SpectrumImage::height),
	      scroll(columns * SpectrumImage::height)
	{
	}

	// Frames and 16-bit samples of one block (20 ms).
	int block_frames() const { return stream.block_frames(); }
	int block_samples() const { return block_frames() * stream.frame_width(); }

	// Row r's analysis window of one extended length (180 ms) is centred
	// r * row_seconds() after the first sample.
	double row_seconds() const { return period_length / (2.0 * stream.rate()); }

	// Takes count frames. While no receiver could be allocated, blocks are
	// dropped and their rows stay transparent.
	void feed(const short *samples, size_t count) { stream.feed(samples, count, *this); }
	void block(const short *samples) { feed(samples, block_frames()); }
	// Ends the input; what was still pending is marked on the last row.
	void finish() { stream.finish(*this); }

	int row_count() const { return int(rows.size()) / columns; }
	// row_count() rows of columns pixels 0xAARRGGBB, oldest first.
	const unsigned *row_pixels() const { return rows.data(); }
	// The plot of the latest spectrum (all transparent before the first).
	const unsigned *plot() const { return plot_pixels.data(); }
	const std::vector<WaterfallMark> &marks() const { return events; }

private:
	StreamReceiver stream;
	int period_length; // extended length in samples
	std::vector<unsigned> plot_pixels, scroll, rows;
	std::vector<WaterfallMark> events;

	int row(uint64_t frames) const { return std::max(0, int(2 * frames / period_length) - 1); }

	// The scroll buffer holds the newest row on top: its row 1 is the older
	// of the two just added.
	void period(DecoderInterface &decoder) override
	{
		decoder.spectrum(plot_pixels.data(), scroll.data(), plot_colour);
		int r = row(stream.frames());
		rows.resize(size_t(r + 1) * columns, 0u);
		std::copy_n(scroll.begin() + columns, columns, rows.begin() + size_t(r - 1) * columns);
		std::copy_n(scroll.begin(), columns, rows.begin() + size_t(r) * columns);
	}

	void event(const Event &e) override
	{
		WaterfallMark m{std::min(row(e.frame), std::max(row_count() - 1, 0)), e.kind, -1, 0, {}};
		if (e.kind == STATUS_SYNC || e.kind == STATUS_NOPE || e.kind == STATUS_PING) {
			m.mode = e.mode;
			m.call_sign = e.call_sign;
			m.call_sign.erase(0, m.call_sign.find_first_not_of(' '));
			m.call_sign.erase(m.call_sign.find_last_not_of(' ') + 1);
		} else if (e.kind == STATUS_DONE) {
			m.flips = e.flips;
		}
		events.push_back(m);
	}
};
