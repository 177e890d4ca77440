#include "stream/stream_receiver.hh"

#include <algorithm>
#include <cstring>

namespace {

// The receiver searches its input for preambles up to its whole history (4
// periods of 9 blocks) late, and a burst lasts at most 10 periods.
constexpr int search_blocks = 4 * 9, longest_flush = search_blocks + 10 * 9;

}

StreamReceiver::StreamReceiver(int rate, int mapping, int channel, Demodulator demodulator)
    : sample_rate(rate), mapping(mapping), channel(channel), demodulator(demodulator), block_length(rate / 50),
      width(channel >= 1 && channel <= 4 ? 2 : 1)
{
	reset_decoder();
	heap_pending = !decoder;
}

StreamReceiver::~StreamReceiver() { delete decoder; }

// The old receiver goes before the new one is allocated: two at once might
// not fit where one does.
void StreamReceiver::reset_decoder()
{
	delete decoder;
	decoder = nullptr;
	decoder = make_decoder(sample_rate, mapping, demodulator);
}

void StreamReceiver::feed(const short *samples, size_t count, StreamListener &listener)
{
	if (heap_pending) {
		heap_pending = false;
		report(STATUS_HEAP, listener);
	}
	if (!count) return;
	const size_t block_values = size_t(block_length) * width;
	size_t values = count * width;
	if (fill) {
		size_t n = std::min(values, block_values - fill);
		std::memcpy(partial + fill, samples, n * sizeof *samples);
		fill += n;
		samples += n;
		values -= n;
		if (fill < block_values) return;
		fill = 0;
		frames_taken += block_length;
		block(partial, listener);
	}
	for (; values >= block_values; samples += block_values, values -= block_values) {
		frames_taken += block_length;
		block(samples, listener);
	}
	if (values) std::memcpy(partial, samples, values * sizeof *samples);
	fill = values;
}

void StreamReceiver::finish(StreamListener &listener)
{
	feed(nullptr, 0, listener);
	fill = 0;
	std::fill(partial, partial + size_t(block_length) * width, short(0));
	flushing = true;
	for (int n = 0; decoder && (n < search_blocks || in_burst) && n < longest_flush; ++n) block(partial, listener);
	if (in_burst) end_burst(listener);
	flushing = false;
}

void StreamReceiver::block(const short *samples, StreamListener &listener)
{
	if (!decoder) {
		reset_decoder();
		return;
	}
	if (!decoder->feed(samples, block_length, channel)) return;
	int status = decoder->process();
	if (!flushing) listener.period(*decoder);
	// The receiver gave up the burst in progress for this one.
	if (status == STATUS_SYNC && in_burst) end_burst(listener);
	report(status, listener);
	if (status == STATUS_SYNC) in_burst = true;
	if (status == STATUS_DONE) in_burst = false;
	// A preamble that failed during a burst does not end the burst.
	if (status == STATUS_DONE || (status == STATUS_FAIL && !in_burst)) decoder->restart();
	if (status == STATUS_HEAP) {
		if (in_burst) end_burst(listener);
		reset_decoder();
		if (!decoder) report(STATUS_HEAP, listener);
	}
}

// The MESSAGE of a burst whose payload never came.
void StreamReceiver::end_burst(StreamListener &listener)
{
	in_burst = false;
	Event event;
	event.kind = STATUS_DONE;
	event.flips = -1;
	event.frame = frames();
	listener.event(event);
}

void StreamReceiver::report(int status, StreamListener &listener)
{
	Event event;
	if (!read_event(status, decoder, event)) return;
	event.frame = frames();
	listener.event(event);
}
