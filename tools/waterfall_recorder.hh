#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "src/make_decoder.hh"

// What the receiver reported at one period.
struct WaterfallMark
{
	int row;               // newest spectrum row of the period the status came with
	int status;            // a Status value other than STATUS_OKAY
	int mode;              // staged() mode for SYNC, NOPE and PING; -1 otherwise
	int flips;             // fetch() result for DONE; 0 otherwise
	std::string call_sign; // staged() call sign without padding spaces; empty when not staged
};

// Runs a stream through receivers block by block the way decode_stream does
// (a fresh receiver after FAIL, DONE and HEAP) and keeps two spectrum rows per
// period in time order, the reported statuses and the latest spectrum plot.
class WaterfallRecorder
{
public:
	static constexpr int columns = SpectrumImage::width; // 0 Hz to 4 kHz
	static constexpr unsigned plot_colour = 0xF0E060;    // RGB of the plot line

	// Unsupported rates and mappings end the program as in decode_stream.
	WaterfallRecorder(int rate, int mapping, int channel)
	    : rate(rate), mapping(mapping), channel(channel), period(rate * 9 / 50),
	      stereo(channel >= 1 && channel <= 4), plot_pixels(columns * SpectrumImage::height),
	      scroll(columns * SpectrumImage::height)
	{
		rebuild(0);
	}
	~WaterfallRecorder() { delete decoder; }
	WaterfallRecorder(const WaterfallRecorder &) = delete;
	WaterfallRecorder &operator=(const WaterfallRecorder &) = delete;

	// Frames and 16-bit samples of one block (20 ms).
	int block_frames() const { return rate / 50; }
	int block_samples() const { return block_frames() * (stereo ? 2 : 1); }

	// Row r's analysis window of one extended length (180 ms) is centred
	// r * row_seconds() after the first sample.
	double row_seconds() const { return period / (2.0 * rate); }

	// Feeds one block of block_samples() samples. While no receiver could be
	// allocated, blocks are dropped and their rows stay transparent.
	void block(const short *samples)
	{
		frames += block_frames();
		if (!decoder) {
			decoder = make_decoder(rate, mapping);
			return;
		}
		if (!decoder->feed(samples, block_frames(), channel)) return;
		int row = int(2 * frames / period) - 1;
		int status = decoder->process();
		decoder->spectrum(plot_pixels.data(), scroll.data(), plot_colour);
		take_rows(row);
		if (status != STATUS_OKAY) mark(status, row);
		if (status == STATUS_FAIL || status == STATUS_DONE || status == STATUS_HEAP) rebuild(row);
	}

	int row_count() const { return int(rows.size()) / columns; }
	// row_count() rows of columns pixels 0xAARRGGBB, oldest first.
	const unsigned *row_pixels() const { return rows.data(); }
	// The plot of the latest spectrum call (all transparent before the first).
	const unsigned *plot() const { return plot_pixels.data(); }
	const std::vector<WaterfallMark> &marks() const { return events; }

private:
	int rate, mapping, channel;
	int period; // extended length in samples
	bool stereo;
	long long frames = 0;
	DecoderInterface *decoder = nullptr;
	std::vector<unsigned> plot_pixels, scroll, rows;
	std::vector<WaterfallMark> events;

	// The scroll buffer holds the newest row on top: its row 1 is the older
	// of the two just added.
	void take_rows(int row)
	{
		rows.resize(size_t(row + 1) * columns, 0u);
		std::copy_n(scroll.begin() + columns, columns, rows.begin() + size_t(row - 1) * columns);
		std::copy_n(scroll.begin(), columns, rows.begin() + size_t(row) * columns);
	}

	void mark(int status, int row)
	{
		WaterfallMark m{row, status, -1, 0, {}};
		if (status == STATUS_SYNC || status == STATUS_NOPE || status == STATUS_PING) {
			float cfo = -1;
			unsigned char call[9] = {};
			decoder->staged(&cfo, &m.mode, call);
			m.call_sign.assign(call, call + 9);
			m.call_sign.erase(0, m.call_sign.find_first_not_of(' '));
			m.call_sign.erase(m.call_sign.find_last_not_of(' ') + 1);
		} else if (status == STATUS_DONE) {
			unsigned char payload[170] = {};
			m.flips = decoder->fetch(payload);
		}
		events.push_back(m);
	}

	void rebuild(int row)
	{
		delete decoder;
		decoder = nullptr;
		decoder = make_decoder(rate, mapping);
		if (!decoder) events.push_back({row, STATUS_HEAP, -1, 0, {}});
	}
};
