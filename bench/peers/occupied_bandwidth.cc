// occupied_bandwidth: the band that holds 99 % of the power of signed 16-bit
// PCM on standard input (0.5 % left out on either side), from a Hann-windowed
// spectrum averaged over half-overlapping frames of half a second (2 Hz
// bins). Prints the lower and upper edges and the width in Hz.
//   usage: occupied_bandwidth 8000|48000 < in.s16

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/peers/pcm.hh"
#include "dsp/complex.hh"
#include "dsp/fft.hh"
#include "dsp/hann.hh"

namespace {

template <int BINS>
std::vector<double> power_spectrum()
{
	auto fft = std::make_unique<DSP::FastFourierTransform<BINS, DSP::Complex<float>, -1>>();
	std::vector<DSP::Complex<float>> in(BINS), out(BINS);
	std::vector<short> samples(BINS);
	std::vector<double> power(BINS / 2 + 1);
	// The first half of a frame is the second half of the one before.
	size_t have = read_samples(samples.data(), BINS / 2);
	while (have == BINS / 2) {
		have = read_samples(samples.data() + BINS / 2, BINS / 2);
		if (have < BINS / 2) std::fill(samples.begin() + BINS / 2 + have, samples.end(), 0);
		for (int i = 0; i < BINS; ++i) in[i] = DSP::Complex<float>(samples[i] * DSP::Hann<float>()(i, BINS));
		(*fft)(out.data(), in.data());
		for (int k = 0; k <= BINS / 2; ++k) power[k] += DSP::norm(out[k]);
		std::copy(samples.begin() + BINS / 2, samples.end(), samples.begin());
	}
	return power;
}

}

int main(int argc, char **argv)
{
	int rate = argc == 2 ? std::atoi(argv[1]) : 0;
	if (rate != 8000 && rate != 48000) {
		std::fputs("usage: occupied_bandwidth 8000|48000 < in.s16\n", stderr);
		return 1;
	}
	std::vector<double> power = rate == 8000 ? power_spectrum<4000>() : power_spectrum<24000>();
	double total = 0, sum = 0;
	for (double p : power) total += p;
	double bin = 2.0, low = -1, high = -1;
	for (size_t k = 0; k < power.size(); ++k) {
		sum += power[k];
		if (low < 0 && sum >= 0.005 * total) low = k * bin;
		if (high < 0 && sum >= 0.995 * total) high = k * bin;
	}
	std::printf("%.0f %.0f %.0f\n", low, high, high - low);
	return 0;
}
