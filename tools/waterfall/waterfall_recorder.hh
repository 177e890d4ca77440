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
// spectrum plot. Memory stays bounded on long recordings: when the rows
// would pass max_rows, every two neighbours are merged into one (each
// pixel the one of the two with more alpha, so that a burst in either
// stays visible), and each row then stands for twice the time.
class WaterfallRecorder final : StreamListener
{
public:
	static constexpr int columns = SpectrumImage::width; // 0 Hz to 4 kHz
	static constexpr unsigned plot_colour = 0xF0E060;    // RGB of the plot line

	// rate and mapping must pass check_variant; max_rows at least 2.
	WaterfallRecorder(int rate, int mapping, int channel, long max_rows = 8192,
	                  Demodulator demodulator = Demodulator::reference)
	    : stream(rate, mapping, channel, demodulator), period_length(rate * 9 / 50), max_rows(max_rows),
	      plot_pixels(columns * SpectrumImage::height), scroll(columns * SpectrumImage::height)
	{
	}

	// Frames and 16-bit samples of one block (20 ms).
	int block_frames() const { return stream.block_frames(); }
	int block_samples() const { return block_frames() * stream.frame_width(); }

	// Row r's analysis window of one extended length (180 ms) is centred
	// r * row_seconds() after the first sample (the first of the rows it
	// stands for, once rows were merged).
	double row_seconds() const { return (period_length << merges) / (2.0 * stream.rate()); }

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
	long max_rows;
	int merges = 0; // rows were halved this many times
	std::vector<unsigned> plot_pixels, scroll, rows;
	std::vector<WaterfallMark> events;

	// The row of a position, counted in rows of 90 ms, and where it is kept.
	long full_row(uint64_t frames) const { return std::max(0L, long(2 * frames / period_length) - 1); }
	int row(uint64_t frames) const { return int(full_row(frames) >> merges); }

	static unsigned stronger(unsigned a, unsigned b) { return (b >> 24) > (a >> 24) ? b : a; }

	void merge(const unsigned *from, size_t to)
	{
		for (int c = 0; c < columns; ++c) rows[to * columns + c] = stronger(rows[to * columns + c], from[c]);
	}

	void halve()
	{
		size_t count = row_count();
		for (size_t r = 1; r < count; ++r) {
			const unsigned *from = rows.data() + r * columns;
			if (r % 2) merge(from, r / 2);
			else std::copy_n(from, columns, rows.begin() + (r / 2) * columns);
		}
		rows.resize((count + 1) / 2 * columns);
		for (WaterfallMark &m : events) m.row /= 2;
		++merges;
	}

	// The scroll buffer holds the newest row on top: its row 1 is the older
	// of the two just added.
	void period(DecoderInterface &decoder) override
	{
		decoder.spectrum(plot_pixels.data(), scroll.data(), plot_colour);
		long newest = full_row(stream.frames());
		while ((newest >> merges) >= max_rows) halve();
		rows.resize(size_t((newest >> merges) + 1) * columns, 0u);
		merge(scroll.data() + columns, (newest - 1) >> merges);
		merge(scroll.data(), newest >> merges);
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
