// decode_stream: reads raw signed 16-bit PCM on standard input and writes one
// event line per received burst on standard output.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "stream/event_line.hh"
#include "stream/stream_receiver.hh"
#include "tools/block_reader.hh"

static const char usage[] =
    "usage: decode_stream [RATE [MAPPING [CHANNEL]]] < samples\n"
    "\n"
    "Reads raw signed 16-bit native-endian PCM on standard input and writes one\n"
    "line per event on standard output until the input ends.\n"
    "\n"
    "  RATE     sample rate in Hz: 8000 or 48000 (default 48000)\n"
    "  MAPPING  points of the data constellation: 2, 4 or 8 (default 4)\n"
    "  CHANNEL  0 mono (default), 1 left, 2 right, 3 left and right averaged,\n"
    "           4 in-phase/quadrature pair; 1 to 4 read two interleaved samples\n"
    "           per frame, any other value counts as mono\n"
    "\n"
    "Events:\n"
    "  EVENT:SYNC|CFO:<Hz>|MODE:<mode>|CALL:<call sign>   a burst with payload begins\n"
    "  EVENT:MESSAGE|FLIPS:<n>|PAYLOAD:<text>             its payload; FLIPS is the number\n"
    "                                                     of corrected bits, -1 when the\n"
    "                                                     payload failed its CRC (text empty)\n"
    "  EVENT:PING|CFO:<Hz>|MODE:0|CALL:<call sign>        a ping without payload\n"
    "  EVENT:NOPE|CFO:<Hz>|MODE:<mode>|CALL:<call sign>   valid metadata of a mode not received\n"
    "  EVENT:PREAMBLE_FAIL                                a preamble whose metadata failed\n"
    "  EVENT:HEAP_ERROR                                   no memory for a receiver\n"
    "\n"
    "Payload text is escaped so that one event is one line: \\\\ for a backslash,\n"
    "\\n \\r \\t, \\xHH for other bytes below 0x20 and 0x7f; bytes from 0x80 pass as\n"
    "they are (UTF-8). The text ends at the first zero byte.\n"
    "\n"
    "Exit status: 0 at the end of the input, 1 for an unsupported rate or mapping\n"
    "or a read or write error.\n";

static void check_output()
{
	if (std::cout.flush()) return;
	std::cerr << "Write error: " << std::strerror(errno) << std::endl;
	std::exit(1);
}

// Every event is one line, flushed at once for the reader at the other end
// of the pipe.
struct LinePrinter final : StreamListener
{
	void event(const Event &event) override
	{
		char line[event_line_capacity];
		size_t length = event_line(event, line, sizeof line);
		std::cout.write(line, length).put('\n');
		check_output();
	}
};

int main(int argc, char **argv)
{
	if (argc > 1 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
		std::cout << usage;
		check_output();
		return 0;
	}
	int rate = argc > 1 ? std::atoi(argv[1]) : 48000;
	int mapping = argc > 2 ? std::atoi(argv[2]) : 4;
	int channel = argc > 3 ? std::atoi(argv[3]) : 0;

	switch (check_variant(rate, mapping)) {
	case STREAM_BAD_RATE: std::cerr << "Unsupported sample rate: " << rate << std::endl; return 1;
	case STREAM_BAD_MAPPING: std::cerr << "Unsupported mapping" << std::endl; return 1;
	default: break;
	}
	StreamReceiver stream(rate, mapping, channel);
	LinePrinter printer;
	// Reports a receiver that could not be allocated before any input comes.
	stream.feed(nullptr, 0, printer);
	BlockReader<short> input(0, stream.block_frames() * stream.frame_width());
	while (const short *block = input.next()) stream.feed(block, stream.block_frames(), printer);
	stream.finish(printer);
	return 0;
}
