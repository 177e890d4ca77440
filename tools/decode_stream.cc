// decode_stream: reads 16-bit PCM (raw, or a WAV stream, or any audio file
// libsndfile reads) and writes one event line per received burst on
// standard output.

#include <new>

#include "stream/stream_receiver.hh"
#include "tools/io/audio_input.hh"
#include "tools/io/event_printer.hh"
#include "tools/cli/receiver_options.hh"

static const char usage[] =
    "Usage: decode_stream [OPTION]... [RATE [MAPPING [CHANNEL]]]\n"
    "Receives bursts from 16-bit PCM on standard input (or -i FILE) and writes one\n"
    "line per event on standard output until the input ends.\n"
    "\n"
    "  RATE     the receiver's sample rate in Hz: 8000 or 48000 (default 48000)\n"
    "  MAPPING  points of the data constellation: 2, 4 or 8 (default 4), or any:\n"
    "           a receiver for each of the three on the same input, each burst\n"
    "           reported once, its MESSAGE by the one that decodes it\n"
    "  CHANNEL  0 mono (default), 1 left, 2 right, 3 left and right averaged,\n"
    "           4 in-phase/quadrature pair; 1 to 4 read two interleaved samples\n"
    "           per frame, any other value counts as mono\n"
    "\n"
    "  -i, --input FILE         read FILE: WAV, FLAC, AIFF or any format libsndfile\n"
    "                           reads, raw PCM when it is none of them\n"
    "  -R, --input-rate HZ      sample rate of raw input, 8000 to 192000 (default RATE)\n"
    "  -t, --timestamps[=WHEN]  put the time in front of each event line: position\n"
    "                           (default) the seconds from the start of the input,\n"
    "                           three decimals; wall the clock, ISO 8601 in UTC\n"
    "  -f, --format FORMAT      lines (default) or json: one JSON object per event\n"
    "  -d, --demod NAME         how data symbols become soft bits: reference\n"
    "                           (default), each carrier against the previous\n"
    "                           symbol's; enhanced, against a channel estimate\n"
    "                           carried over from the metadata symbol, about 2 dB\n"
    "                           more sensitive in noise, and a second preamble\n"
    "                           search on 450-3500 Hz that mains hum does not blind\n"
    "  -h, --help               show this text\n"
    "  -V, --version            show the version\n"
    "\n"
    "Standard input is raw signed 16-bit native-endian PCM unless it starts with a\n"
    "RIFF/WAVE header, on a pipe too. Input at another rate than RATE is resampled\n"
    "(one line on standard error says so). Stereo input needs CHANNEL 1 to 4, mono\n"
    "input 0. On a terminal, a progress line on standard error follows a file.\n"
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
    "they are (UTF-8). The text ends at the first zero byte. JSON objects hold kind,\n"
    "time, cfo, mode and call (SYNC, PING, NOPE), flips, mapping (that decoded\n"
    "the payload, 0 when it failed), payload and payload_hex (MESSAGE).\n"
    "\n"
    "Exit status: 0 at the end of the input; 1 for an unsupported rate, mapping,\n"
    "option value or input, a read or write error, or no memory; 2 for an unknown\n"
    "option or a missing option value.\n";

int main(int argc, char **argv)
{
	start_program("decode_stream");
	ReceiverOptions options = parse_receiver_options(argc, argv, false);
	if (options.help) print_and_exit(usage);
	if (options.version) print_and_exit(version_text());
	if (!options.error.empty()) fail(options.error, options.status, options.named);
	try {
		StreamReceiver stream(options.rate, options.mapping, options.channel, options.demodulator);
		Progress progress;
		EventPrinter printer(options.json, options.timestamps, options.rate, progress);
		// Reports a receiver that could not be allocated before any input comes.
		stream.feed(nullptr, 0, printer);
		AudioInput input(options.input, options.rate, options.channel);
		progress.start(input.frames_total(), input.input_rate());
		size_t frames;
		while (const short *block = input.next(frames)) {
			stream.feed(block, frames, printer);
			progress.update(input.frames_read());
		}
		stream.finish(printer);
	} catch (const std::bad_alloc &) {
		fail("out of memory");
	}
	return EXIT_DONE;
}
