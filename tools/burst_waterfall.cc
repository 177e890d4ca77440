// waterfall: reads 16-bit PCM as decode_stream does and writes a PNG picture
// of the whole recording: its spectrum over time from 0 to 4 kHz, the
// bursts the receiver reported, and the spectrum at the end.

#include <new>
#include <string>

#include "tools/io/audio_input.hh"
#include "tools/io/png_file.hh"
#include "tools/cli/progress.hh"
#include "tools/cli/receiver_options.hh"
#include "tools/waterfall/waterfall_picture.hh"

namespace {

const char usage[] = R"(Usage: burst_waterfall [OPTION]... --out FILE [RATE [MAPPING [CHANNEL]]]
Runs 16-bit PCM from standard input (or -i FILE) through the receiver as
decode_stream does and writes a PNG picture of the whole recording: the
spectrum from 0 to 4000 Hz in two rows per 180 ms (time running down,
labelled in seconds), every burst event marked at the time it was reported,
and the spectrum at the end of the input underneath.

  RATE     the receiver's sample rate in Hz: 8000 or 48000 (default 48000)
  MAPPING  points of the data constellation: 2, 4 or 8 (default 4), or any
  CHANNEL  0 mono (default), 1 left, 2 right, 3 left and right averaged,
           4 in-phase/quadrature pair

  -o, --out FILE         the PNG to write, - for standard output (required)
  -i, --input FILE       read FILE: WAV, FLAC, AIFF or any format libsndfile
                         reads, raw PCM when it is none of them
  -R, --input-rate HZ    sample rate of raw input, 8000 to 192000 (default RATE)
  -n, --max-rows N       at most N rows of spectrum (default 8192, 12 minutes):
                         a longer recording has every two rows merged into one,
                         as often as needed, so memory stays bounded and the
                         whole recording fits (each pixel keeps the stronger
                         of the two)
  -d, --demod NAME       reference (default) or enhanced, as for decode_stream
  -h, --help             show this text
  -V, --version          show the version

Input is read as by decode_stream: raw PCM, a WAV stream on standard input,
any rate from 8000 to 192000 Hz resampled to RATE.

Marks: SYNC mode call, PING call, NOPE mode call, DATA OK or DATA FAIL when a
payload was decoded or not, PREAMBLE FAIL.

Exit status: 0 when the picture was written; 1 for an unsupported rate,
mapping, option value or input, a read or write error, or no memory; 2 for an
unknown option, a missing option value or a missing --out.
)";

}

int main(int argc, char **argv)
{
	start_program("burst_waterfall");
	ReceiverOptions options = parse_receiver_options(argc, argv, true);
	if (options.help) print_and_exit(usage);
	if (options.version) print_and_exit(version_text());
	if (!options.error.empty()) fail(options.error, options.status, options.named);
	try {
		WaterfallRecorder recorder(options.rate, options.mapping, options.channel, options.max_rows, options.demodulator);
		AudioInput input(options.input, options.rate, options.channel);
		Progress progress;
		progress.start(input.frames_total(), input.input_rate());
		size_t frames;
		while (const short *block = input.next(frames)) {
			recorder.feed(block, frames);
			progress.update(input.frames_read());
		}
		recorder.finish();
		progress.clear();
		Picture picture = waterfall_picture(recorder);
		std::string error;
		if (!write_png(options.out, picture.width, picture.height, picture.pixels.data(), &error))
			fail((std::string(options.out) == "-" ? "standard output" : options.out) + (": " + error));
	} catch (const std::bad_alloc &) {
		fail("out of memory");
	}
	return EXIT_DONE;
}
