#pragma once

// What process() reports; the driver turns each into one event line.
enum Status
{
	STATUS_OKAY = 0, // nothing to report
	STATUS_FAIL = 1, // a detected preamble was rejected (metadata undecodable or CRC mismatch)
	STATUS_SYNC = 2, // a preamble was accepted: a burst with payload follows
	STATUS_DONE = 3, // the last data symbol is in: the payload can be fetched
	STATUS_HEAP = 4, // never produced by the receivers; reserved for allocation failure
	STATUS_NOPE = 5, // valid metadata this receiver does not act on
	STATUS_PING = 6, // a valid ping: call sign only, no payload
};

// One receiver variant. Calling order: feed() every block; whenever it returns
// true, process() once before the next feed(); after SYNC, NOPE or PING the
// caller may read staged(), after DONE fetch().
struct DecoderInterface
{
	// samples holds sample_count frames: one value each for channel 0 (mono),
	// two interleaved values for 1 (left), 2 (right), 3 (both averaged) and
	// 4 (in-phase, quadrature); other selections count as mono.
	// sample_count must not exceed the variant's extended length.
	// Returns true when a period of extended length has been completed.
	virtual bool feed(const short *samples, int sample_count, int channel) = 0;
	virtual int process() = 0;
	// plot and waterfall each hold 360 x 128 pixels 0xAARRGGBB; colour is the
	// plot line's RGB. Must not run while process() runs.
	virtual void spectrum(unsigned *plot, unsigned *waterfall, int colour) = 0;
	// Frequency offset in Hz, mode, and the call sign as nine characters
	// without a terminating zero.
	virtual void staged(float *cfo, int *mode, unsigned char *call_sign) = 0;
	// payload holds 170 bytes. Returns the number of corrected bits, or -1
	// when decoding failed: the bytes are then not a message.
	virtual int fetch(unsigned char *payload) = 0;
	virtual int rate() = 0;
	// Forgets the burst in progress and all that preambles said, as a new
	// receiver would, but keeps the input heard so far: a burst that began
	// before the restart is still found.
	virtual void restart() = 0;
	virtual ~DecoderInterface() = default;
};
