#include "stream/stream_receiver.hh"

#include <algorithm>
#include <cstring>

namespace {

// The receiver searches its input for preambles up to its whole history (4
// periods of 9 blocks) late, and a burst lasts at most 10 periods.
constexpr int search_blocks = 4 * 9, longest_flush = search_blocks + 10 * 9;

}

StreamReceiver::StreamReceiver(int rate, int mapping, int channel, Demodulator demodulator)
    : sample_rate(rate), channel(channel), demodulator(demodulator), block_length(rate / 50),
      width(channel >= 1 && channel <= 4 ? 2 : 1), receiver_count(mapping == any_mapping ? 3 : 1)
{
	static constexpr int every_mapping[] = {2, 4, 8};
	for (int i = 0; i < receiver_count; ++i)
		receivers[i].mapping = mapping == any_mapping ? every_mapping[i] : mapping;
	reset_receivers();
	heap_pending = !has_receiver();
}

StreamReceiver::~StreamReceiver() { free_receivers(); }

void StreamReceiver::free_receivers()
{
	for (Receiver &r : receivers) {
		delete r.decoder;
		r.decoder = nullptr;
		r.in_burst = false;
	}
}

// The old receivers go before new ones are allocated: two sets at once might
// not fit where one does. They are replaced together, so that their periods
// end on the same block.
void StreamReceiver::reset_receivers()
{
	free_receivers();
	for (int i = 0; i < receiver_count; ++i) {
		receivers[i].decoder = make_decoder(sample_rate, receivers[i].mapping, demodulator);
		if (!receivers[i].decoder) return free_receivers();
	}
}

void StreamReceiver::feed(const short *samples, size_t count, StreamListener &listener)
{
	if (heap_pending) {
		heap_pending = false;
		report(STATUS_HEAP, nullptr, listener);
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
	for (int n = 0; has_receiver() && (n < search_blocks || in_burst) && n < longest_flush; ++n)
		block(partial, listener);
	if (in_burst) {
		end_burst(listener);
		for (int i = 0; i < receiver_count; ++i)
			if (receivers[i].in_burst) forget_burst(receivers[i]);
	}
	flushing = false;
}

void StreamReceiver::block(const short *samples, StreamListener &listener)
{
	if (!has_receiver()) {
		reset_receivers();
		return;
	}
	bool period = false;
	for (int i = 0; i < receiver_count; ++i)
		period = receivers[i].decoder->feed(samples, block_length, channel);
	if (!period) return;
	int status[3];
	bool heap = false;
	for (int i = 0; i < receiver_count; ++i) {
		status[i] = receivers[i].decoder->process();
		heap = heap || status[i] == STATUS_HEAP;
	}
	if (!flushing) listener.period(*receivers[0].decoder);
	if (heap) {
		report(STATUS_HEAP, nullptr, listener);
		if (in_burst) end_burst(listener);
		reset_receivers();
		if (!has_receiver()) report(STATUS_HEAP, nullptr, listener);
		return;
	}
	payloads(status, listener);
	preamble(status, listener);
}

// The burst's MESSAGE comes from the first payload that passes its CRC, or
// from the last receiver to fail. A receiver that finished forgets its
// burst, and once the burst has its MESSAGE, so do those still decoding it.
void StreamReceiver::payloads(const int *status, StreamListener &listener)
{
	for (int i = 0; i < receiver_count; ++i) {
		Receiver &r = receivers[i];
		if (status[i] != STATUS_DONE) continue;
		if (r.in_burst && in_burst) {
			r.in_burst = false;
			Event event;
			read_event(STATUS_DONE, r.decoder, event);
			event.frame = frames();
			if (event.flips >= 0) event.mapping = r.mapping;
			bool decoding = false;
			for (int j = 0; j < receiver_count; ++j) decoding = decoding || receivers[j].in_burst;
			if (event.flips >= 0 || !decoding) {
				in_burst = false;
				listener.event(event);
			}
		}
		forget_burst(r);
	}
	if (in_burst) return;
	for (int i = 0; i < receiver_count; ++i)
		if (receivers[i].in_burst) forget_burst(receivers[i]);
}

// Every receiver saw the same preamble, so its event is reported once. A
// SYNC gives up the burst in progress, and the receivers that did not take
// it, if any, forget theirs; a preamble that failed during a burst does not
// end the burst.
void StreamReceiver::preamble(const int *status, StreamListener &listener)
{
	int sync = -1, other = -1;
	for (int i = receiver_count - 1; i >= 0; --i) {
		if (status[i] == STATUS_SYNC) sync = i;
		if (status[i] == STATUS_FAIL || status[i] == STATUS_NOPE || status[i] == STATUS_PING)
			other = i;
	}
	if (sync >= 0) {
		if (in_burst) end_burst(listener);
		report(STATUS_SYNC, receivers[sync].decoder, listener);
		in_burst = true;
	} else if (other >= 0) {
		report(status[other], receivers[other].decoder, listener);
	}
	for (int i = 0; i < receiver_count; ++i) {
		Receiver &r = receivers[i];
		if (status[i] == STATUS_SYNC) r.in_burst = true;
		else if (sync >= 0 && r.in_burst) forget_burst(r);
		else if (status[i] == STATUS_FAIL && !r.in_burst) r.decoder->restart();
	}
}

void StreamReceiver::forget_burst(Receiver &receiver)
{
	receiver.in_burst = false;
	receiver.decoder->restart();
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

void StreamReceiver::report(int status, DecoderInterface *decoder, StreamListener &listener)
{
	Event event;
	if (!read_event(status, decoder, event)) return;
	event.frame = frames();
	listener.event(event);
}
