// liquid_receive: reads signed 16-bit PCM at 8000 Hz on standard input and
// prints a line for every liquid-dsp OFDM frame (LiquidFrame) whose CRC-32
// passes (see report_frame).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/peers/burst_payload.hh"
#include "bench/peers/down_converter.hh"
#include "bench/peers/liquid_frame.hh"
#include "bench/peers/pcm.hh"

namespace {

struct Run
{
	uint64_t seed;
	unsigned bursts;
	uint64_t position = 0;
	double chunk_start = 0;
};

int frame(unsigned char *, int, unsigned char *payload, unsigned int length, int valid, framesyncstats_s, void *user)
{
	auto *run = static_cast<Run *>(user);
	if (valid) report_frame(payload, length, run->seed, run->bursts, run->position, cpu_seconds() - run->chunk_start);
	return 0;
}

}

int main(int argc, char **argv)
{
	modulation_scheme scheme = argc == 4 ? LiquidFrame::modulation(argv[1]) : LIQUID_MODEM_UNKNOWN;
	if (scheme == LIQUID_MODEM_UNKNOWN) {
		std::fputs("usage: liquid_receive qpsk|bpsk BURSTS SEED < in.s16\n", stderr);
		return 1;
	}
	Run run{std::strtoull(argv[3], nullptr, 10), unsigned(std::atoi(argv[2]))};
	std::vector<unsigned char> p = LiquidFrame::allocation();
	ofdmflexframesync sync = ofdmflexframesync_create(LiquidFrame::carriers, LiquidFrame::prefix,
	                                                  LiquidFrame::taper, p.data(), frame, &run);
	ofdmflexframesync_decode_header_soft(sync, 1);
	ofdmflexframesync_decode_payload_soft(sync, 1);
	// Down to baseband; the low-pass keeps the carriers (±800 Hz) and
	// removes the noise around them and the image at twice the centre.
	DownConverter<LiquidFrame::centre_turns, LiquidFrame::centre_period> down(31, 1000.0f / LiquidFrame::rate);
	// 20 ms chunks, as this project's receiver takes its blocks.
	constexpr size_t chunk = LiquidFrame::rate / 50;
	short in[chunk];
	std::complex<float> x[chunk];
	while (read_samples(in, chunk) == chunk) {
		run.position += chunk;
		run.chunk_start = cpu_seconds();
		down(in, chunk, x);
		ofdmflexframesync_execute(sync, x, chunk);
	}
	ofdmflexframesync_destroy(sync);
	return 0;
}
