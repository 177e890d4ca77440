#include "stream/stream_receiver.hh"

#include <algorithm>
#include <cstring>

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
		block(partial, listener);
	}
	for (; values >= block_values; samples += block_values, values -= block_values) block(samples, listener);
	if (values) std::memcpy(partial, samples, values * sizeof *samples);
	fill = values;
}

void StreamReceiver::finish(StreamListener &listener)
{
	feed(nullptr, 0, listener);
	fill = 0;
}

void StreamReceiver::block(const short *samples, StreamListener &listener)
{
	++blocks_taken;
	if (!decoder) {
		reset_decoder();
		return;
	}
	if (!decoder->feed(samples, block_length, channel)) return;
	int status = decoder->process();
	listener.period(*decoder);
	report(status, listener);
	if (status == STATUS_FAIL || status == STATUS_DONE || status == STATUS_HEAP) {
		reset_decoder();
		if (!decoder) report(STATUS_HEAP, listener);
	}
}

void StreamReceiver::report(int status, StreamListener &listener)
{
	Event event;
	if (!read_event(status, decoder, event)) return;
	event.frame = frames();
	listener.event(event);
}
