// noise_source: writes SECONDS of one test signal as signed 16-bit
// native-endian PCM at RATE Hz on standard output, for listening runs of
// decode_stream (bench/noise_runs.sh). The signals are listed in
// bench/noise_signals.hh; the same name, rate, length and seed always give
// the same samples.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "testing/noise_signals.hh"

int main(int argc, char **argv)
{
	if (argc < 4) {
		std::fprintf(stderr, "usage: noise_source SIGNAL RATE SECONDS [SEED] > samples\nsignals:");
		for (const std::string &name : noise_signal_names())
			std::fprintf(stderr, " %s", name.c_str());
		std::fprintf(stderr, " bursts-RATE-M\n");
		return 1;
	}
	int rate = std::atoi(argv[2]);
	double seconds = std::atof(argv[3]);
	uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
	NoiseSignal signal(argv[1], rate, seed);
	if (!signal.valid() || rate <= 0 || !(seconds >= 0)) {
		std::fprintf(stderr, "noise_source: unknown signal or invalid rate or length\n");
		return 1;
	}
	int16_t block[4096];
	for (long long left = (long long)(seconds * rate); left > 0;) {
		int count = left < 4096 ? int(left) : 4096;
		signal.generate(block, count);
		if (std::fwrite(block, sizeof block[0], count, stdout) != size_t(count)) return 0;
		left -= count;
	}
	return 0;
}
