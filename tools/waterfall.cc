// waterfall: reads raw signed 16-bit PCM on standard input and writes a PNG
// picture of the whole recording: its spectrum over time from 0 to 4 kHz,
// the bursts the receiver reported, and the spectrum at the end.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

#include "tools/options.hh"
#include "tools/png_file.hh"
#include "tools/block_reader.hh"
#include "tools/waterfall_picture.hh"

namespace {

const char usage[] = R"(usage: waterfall [RATE [MAPPING [CHANNEL]]] --out FILE < samples

Reads raw signed 16-bit native-endian PCM on standard input, runs it through
the receiver as decode_stream does, and writes a PNG picture of the whole
recording to FILE: the spectrum from 0 to 4000 Hz in two rows per 180 ms
(time running down, labelled in seconds), every burst event marked at the
time it was reported, and the spectrum at the end of the input underneath.

  RATE        sample rate in Hz: 8000 or 48000 (default 48000)
  MAPPING     points of the data constellation: 2, 4 or 8 (default 4)
  CHANNEL     0 mono (default), 1 left, 2 right, 3 left and right averaged,
              4 in-phase/quadrature pair
  --out FILE  the PNG to write (required)
  --help      show this text

Marks: SYNC mode call, PING call, NOPE mode call, DATA OK or DATA FAIL when a
payload was decoded or not, PREAMBLE FAIL.

Exit status: 0 when the picture was written, 1 for an unsupported rate or
mapping, a missing or unknown option, or a read or write error.
)";

struct Arguments
{
	int rate = 48000, mapping = 4, channel = 0;
	std::string out;
};

[[noreturn]] void fail(const std::string &message)
{
	std::cerr << "waterfall: " << message << std::endl;
	std::exit(1);
}

void check_output()
{
	if (std::cout.flush()) return;
	std::cerr << "Write error: " << std::strerror(errno) << std::endl;
	std::exit(1);
}

// Positional numbers as decode_stream reads them (atoi, further ones ignored)
// mixed freely with the options.
Arguments parse(int argc, char **argv)
{
	Arguments args;
	int *positional[] = {&args.rate, &args.mapping, &args.channel};
	int count = 0;
	bool has_out = false;
	for (Options opt(argc, argv); opt.next();) {
		const std::string &name = opt.name;
		if (name == "--help" || name == "-h") {
			std::cout << usage;
			check_output();
			std::exit(0);
		} else if (name == "--out") {
			const char *v = opt.value();
			if (!v || !*v) fail("--out needs a file name");
			args.out = v;
			has_out = true;
		} else if (name.size() > 1 && name.compare(0, 2, "--") == 0) {
			fail("unknown option: " + name + " (see --help)");
		} else if (count < 3) {
			*positional[count++] = std::atoi(name.c_str());
		}
	}
	if (!has_out) fail("--out FILE is required (see --help)");
	return args;
}

}

int main(int argc, char **argv)
{
	Arguments args = parse(argc, argv);
	switch (check_variant(args.rate, args.mapping)) {
	case STREAM_BAD_RATE: std::cerr << "Unsupported sample rate: " << args.rate << std::endl; return 1;
	case STREAM_BAD_MAPPING: std::cerr << "Unsupported mapping" << std::endl; return 1;
	default: break;
	}
	WaterfallRecorder recorder(args.rate, args.mapping, args.channel);
	BlockReader<short> input(0, recorder.block_samples());
	while (const short *block = input.next()) recorder.block(block);
	recorder.finish();
	Picture picture = waterfall_picture(recorder);
	std::string error;
	if (!write_png(args.out.c_str(), picture.width, picture.height, picture.pixels.data(), &error)) {
		std::cerr << "Write error: " << error << std::endl;
		return 1;
	}
	return 0;
}
