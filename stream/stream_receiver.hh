#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/event.hh"
#include "stream/make_decoder.hh"

// What a stream hands out while it runs.
class StreamListener
{
public:
	virtual void event(const Event &event) = 0;
	// After every period the receiver processed, before that period's
	// event: the moment to ask the receiver for its spectrum.
	virtual void period(DecoderInterface &) {}

protected:
	~StreamListener() = default;
};

// The driver of a receiver: takes frames in any number, assembles them into
// blocks of 20 ms, feeds the current receiver and turns what it reports into
// events. It replaces the receiver with a fresh one after a rejected
// preamble, a message or a failed allocation. While no receiver could be
// allocated, blocks are dropped and a new one is tried before each block;
// each failure is one HEAP_ERROR event. Nothing is allocated while frames
// flow, except the receiver that replaces one.
class StreamReceiver
{
public:
	// rate and mapping must pass check_variant. A frame is one value for
	// channel 0 (and any selection other than 1 to 4), two interleaved
	// values for 1 (left), 2 (right), 3 (both averaged), 4 (in-phase and
	// quadrature).
	StreamReceiver(int rate, int mapping, int channel, Demodulator demodulator = Demodulator::reference);
	~StreamReceiver();
	StreamReceiver(const StreamReceiver &) = delete;
	StreamReceiver &operator=(const StreamReceiver &) = delete;

	// False while no receiver could be allocated.
	bool has_receiver() const { return decoder != nullptr; }
	int rate() const { return sample_rate; }
	// Frames per block, and values per frame.
	int block_frames() const { return block_length; }
	int frame_width() const { return width; }
	// Frames of the whole blocks taken so far: while a listener runs, the
	// position in the input of the end of the block it hears about.
	uint64_t frames() const { return blocks_taken * block_length; }

	// Takes count frames of interleaved values. A failed allocation at
	// construction is reported by the first call, even with no frames.
	void feed(const short *samples, size_t count, StreamListener &listener);
	// Ends the input: reports what is still pending; a partial block is
	// dropped.
	void finish(StreamListener &listener);

private:
	void block(const short *samples, StreamListener &listener);
	void report(int status, StreamListener &listener);
	void reset_decoder();

	int sample_rate, mapping, channel;
	Demodulator demodulator;
	int block_length, width;
	DecoderInterface *decoder = nullptr;
	bool heap_pending = false;
	uint64_t blocks_taken = 0;
	size_t fill = 0; // values of the partial block
	short partial[2 * 48000 / 50];
};
