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
	// event: the moment to ask the receiver for its spectrum. Not called
	// for the silence that finish() adds.
	virtual void period(DecoderInterface &) {}

protected:
	~StreamListener() = default;
};

// The driver of a receiver: takes frames in any number, assembles them into
// blocks of 20 ms, feeds the receiver and turns what it reports into events.
// After a message, and after a rejected preamble outside a burst, the
// receiver forgets the burst but keeps the input it heard, so a burst that
// began while the last one was still being decoded is found. Every SYNC is
// followed by exactly one MESSAGE before any other SYNC: a burst given up
// for a later preamble, or cut off by the end of the input, ends in a failed
// one. While no receiver could be allocated, blocks are dropped and a new
// one is tried before each block; each failure is one HEAP_ERROR event.
// Nothing is allocated while frames flow, except such a retried receiver.
//
// The mapping is not carried in the burst: its preamble and metadata are
// the same for all three. For any_mapping, one receiver of each mapping
// hears the same blocks, and each burst is still reported once: its SYNC,
// PING, NOPE or PREAMBLE_FAIL as every receiver sees it, its MESSAGE from the
// first receiver whose payload passes its CRC (the others forget the burst
// at once), or a failed one when the last receiver gives up (mapping 2's,
// four periods after the others).
class StreamReceiver
{
public:
	// rate and mapping must pass check_stream. A frame is one value for
	// channel 0 (and any selection other than 1 to 4), two interleaved
	// values for 1 (left), 2 (right), 3 (both averaged), 4 (in-phase and
	// quadrature).
	StreamReceiver(int rate, int mapping, int channel, Demodulator demodulator = Demodulator::reference);
	~StreamReceiver();
	StreamReceiver(const StreamReceiver &) = delete;
	StreamReceiver &operator=(const StreamReceiver &) = delete;

	// False while no receiver could be allocated.
	bool has_receiver() const { return receivers[0].decoder != nullptr; }
	int rate() const { return sample_rate; }
	// Frames per block, and values per frame.
	int block_frames() const { return block_length; }
	int frame_width() const { return width; }
	// Frames of the whole blocks taken so far: while a listener runs, the
	// position in the input of the end of the block it hears about.
	uint64_t frames() const { return frames_taken; }

	// Takes count frames of interleaved values. A failed allocation at
	// construction is reported by the first call, even with no frames.
	void feed(const short *samples, size_t count, StreamListener &listener);
	// Ends the input: the partial block is dropped (a burst survives that:
	// the receiver leaves the last 10 ms of every symbol out of its
	// transform), and silence follows until the receiver has searched all
	// the input it holds and the burst in progress has ended, so that
	// everything the input holds is reported. Input that follows is taken
	// as if after a pause.
	void finish(StreamListener &listener);

private:
	struct Receiver
	{
		DecoderInterface *decoder = nullptr;
		int mapping = 0;
		bool in_burst = false; // decoding the burst of the SYNC without its MESSAGE
	};

	void block(const short *samples, StreamListener &listener);
	void payloads(const int *status, StreamListener &listener);
	void preamble(const int *status, StreamListener &listener);
	void report(int status, DecoderInterface *decoder, StreamListener &listener);
	void end_burst(StreamListener &listener);
	void forget_burst(Receiver &receiver);
	void reset_receivers();
	void free_receivers();

	int sample_rate, channel;
	Demodulator demodulator;
	int block_length, width;
	int receiver_count; // 1, or 3 for any_mapping
	Receiver receivers[3];
	bool heap_pending = false;
	bool in_burst = false; // a SYNC without its MESSAGE yet
	bool flushing = false;
	uint64_t frames_taken = 0;
	size_t fill = 0; // values of the partial block
	short partial[2 * 48000 / 50];
};
