// Frame error rate of the payload polar code against Eb/N0 per payload bit
// (K payload bits in 2048 code bits), BPSK over AWGN, for the three rates.
// Soft bits are clamp(round(3 LLR)) to -128 ... 127: a larger scale saturates
// the decoder's 8-bit sums too early (scale 6 loses a decade of FER at K = 1024
// and 1.75 dB), a smaller one rounds the channel values too coarsely.
// A frame is in error when the decoder returns -1 or a payload that differs
// from the one sent. A point stops after 100 frame errors or its frame limit;
// each point has its own fixed seed. Prints CSV on standard output.
// Usage: polar_fer [scale]

#include "bench/polar_frames.hh"
#include "code/polar_decoder.hh"
#include "code/polar_tables.hh"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct Rate
{
	const unsigned int *frozen;
	int K;
	float first, last;
	long max_frames;
};

const Rate rates[] = {
	//  table             K     Eb/N0 dB      frames
	{frozen_2048_712, 680, 0.5f, 2.0f, 20000},
	{frozen_2048_1056, 1024, 0.75f, 2.25f, 40000},
	{frozen_2048_1392, 1360, 1.25f, 3.0f, 20000},
};

}

int main(int argc, char **argv)
{
	float scale = argc > 1 ? std::atof(argv[1]) : 3.0f;
	auto decoder = std::make_unique<CODE::PolarDecoder<signed char>>();
	std::printf("K,ebn0_db,scale,frames,failed,undetected,fer\n");
	for (const Rate &rate : rates) {
		for (float ebn0 = rate.first; ebn0 <= rate.last + 0.01f; ebn0 += 0.25f) {
			PolarFrames frames(rate.frozen, rate.K, ebn0, scale, 1000 * rate.K + int(100 * ebn0));
			long n = 0, failed = 0, undetected = 0;
			while (n < rate.max_frames && failed + undetected < 100) {
				frames.next();
				uint8_t message[PolarFrames::N / 8];
				int flips = (*decoder)(message, frames.code, rate.frozen, rate.K);
				failed += flips < 0;
				undetected += flips >= 0 && std::memcmp(message, frames.payload, rate.K / 8);
				++n;
			}
			std::printf("%d,%.2f,%g,%ld,%ld,%ld,%.3g\n", rate.K, ebn0, scale, n, failed, undetected,
				    double(failed + undetected) / n);
			std::fflush(stdout);
			if (failed + undetected == 0) break;
		}
	}
}
