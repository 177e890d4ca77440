// stream_latency: decode_stream with a clock. Feeds standard input to the
// stream layer one 20 ms block at a time and prefixes every event line with
// the input position (frames) at the end of the block that gave it out and
// the CPU time in microseconds from that block's arrival to the event.
//   usage: stream_latency RATE MAPPING < in.s16

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/peers/pcm.hh"
#include "stream/event_line.hh"
#include "stream/stream_receiver.hh"

namespace {

struct TimedPrinter final : StreamListener
{
	const StreamReceiver *stream = nullptr;
	double block_start = 0;

	void event(const Event &event) override
	{
		char line[event_line_capacity];
		event_line(event, line, sizeof line);
		std::printf("%llu %.1f %s\n", (unsigned long long)stream->frames(), (cpu_seconds() - block_start) * 1e6, line);
	}
};

}

int main(int argc, char **argv)
{
	int rate = argc == 3 ? std::atoi(argv[1]) : 0, mapping = argc == 3 ? std::atoi(argv[2]) : 0;
	if (check_variant(rate, mapping) != STREAM_OK) {
		std::fputs("usage: stream_latency 8000|48000 2|4|8 < in.s16\n", stderr);
		return 1;
	}
	StreamReceiver stream(rate, mapping, 0);
	TimedPrinter printer;
	printer.stream = &stream;
	stream.feed(nullptr, 0, printer);
	std::vector<short> block(stream.block_frames());
	while (read_samples(block.data(), block.size()) == block.size()) {
		printer.block_start = cpu_seconds();
		stream.feed(block.data(), block.size(), printer);
	}
	stream.finish(printer);
	return 0;
}
