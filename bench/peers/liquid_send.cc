// liquid_send: liquid-dsp OFDM frames (LiquidFrame) as signed 16-bit PCM at
// 8000 Hz on standard output, one frame per burst.

#include <numbers>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/peers/burst_payload.hh"
#include "bench/peers/liquid_frame.hh"
#include "bench/peers/pcm.hh"

int main(int argc, char **argv)
{
	modulation_scheme scheme = argc == 5 ? LiquidFrame::modulation(argv[1]) : LIQUID_MODEM_UNKNOWN;
	if (scheme == LIQUID_MODEM_UNKNOWN) {
		std::fputs("usage: liquid_send qpsk|bpsk BURSTS SEED SILENCE_S > out.s16\n", stderr);
		return 1;
	}
	unsigned bursts = std::atoi(argv[2]);
	uint64_t seed = std::strtoull(argv[3], nullptr, 10);
	size_t silence = std::lround(std::atof(argv[4]) * LiquidFrame::rate);
	std::vector<unsigned char> p = LiquidFrame::allocation();
	ofdmflexframegenprops_s props = LiquidFrame::properties(scheme);
	ofdmflexframegen generator = ofdmflexframegen_create(LiquidFrame::carriers, LiquidFrame::prefix,
	                                                     LiquidFrame::taper, p.data(), &props);
	std::vector<std::complex<float>> symbol(LiquidFrame::carriers + LiquidFrame::prefix);
	const double step = 2 * std::numbers::pi * LiquidFrame::centre / LiquidFrame::rate;
	for (unsigned i = 0; i < bursts; ++i) {
		std::vector<unsigned char> bytes = burst_payload(seed, i, LiquidFrame::payload_bytes);
		unsigned char header[8] = {};
		ofdmflexframegen_assemble(generator, header, bytes.data(), bytes.size());
		std::vector<float> burst;
		for (bool last = false; !last;) {
			last = ofdmflexframegen_write(generator, symbol.data(), symbol.size());
			for (auto x : symbol) {
				double phase = step * burst.size();
				burst.push_back(x.real() * std::cos(phase) - x.imag() * std::sin(phase));
			}
		}
		write_burst(burst, silence);
	}
	ofdmflexframegen_destroy(generator);
	return 0;
}
