// What mode 15's bursts leave for any receiver under the Watterson
// profiles, to set beside what the payload stage makes of them
// (fading_bound), on the same bursts sampled once per symbol
// (testing/faded_bursts.hh). Per point it counts:
// - capable: bursts whose channel could carry the payload at all. The
//   information that the payload's symbols carry about what was sent,
//   with the true channel known, is at least the 1024 payload bits. No
//   receiver of these bursts, however long its code or strong its
//   decoder, receives more: the outage bound.
// - soft_0, soft_10, soft_20: bursts whose soft values, as the enhanced
//   demodulator gives them from the true channel before any pass, carry
//   the payload's bits with 0, 10 and 20 % to spare. Between capable and
//   soft_0 lies what weighing each code bit by itself loses, the
//   differential symbols detected before the code has a say; between
//   these and fading_bound's counts, what this code and list decoder need
//   beyond the bits' information.
//
// Usage: fading_capacity [BURSTS [PROFILE [MAPPING [SNR ...]]]]
// (default 400 bursts, moderate, poor and steady white noise, mappings 4
// and 2, SNRs -3 to 9 dB); prints CSV rows
// profile,mapping,snr_3k_db,capable,soft_0,soft_10,soft_20
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include "testing/faded_bursts.hh"

namespace {

struct Profile
{
	const char *name;
	double delay_ms, spread_hz;
};

// As in fading_bound: the carriers fill 1600 of the 3000 Hz.
constexpr double carrier_gain_db = 2.73;

// Bits per use of a binary input, ±a in real Gaussian noise of variance
// s², at snr = a²/s²: 1 - E[log2(1 + exp(-L))], the log-likelihood ratio L
// of the bit sent being normal with mean 2 snr and variance 4 snr. Each
// axis of these constellations is such an input.
double binary_capacity(double snr)
{
	if (!(snr > 0)) return 0;
	const double mean = 2 * snr, deviation = std::sqrt(4 * snr);
	double sum = 0, weights = 0;
	for (int i = -400; i <= 400; ++i) {
		const double z = i / 50.0, w = std::exp(-z * z / 2), l = mean + deviation * z;
		sum += w * (l > 30 ? std::exp(-l) / std::numbers::ln2 : std::log2(1 + std::exp(-l)));
		weights += w;
	}
	return 1 - sum / weights;
}

// What the ratios tell of the bits sent (+1 for 0), in bits.
double information(const float *ratio, const signed char *word, int count)
{
	double sum = 0;
	for (int i = 0; i < count; ++i) {
		const double l = double(ratio[i]) * word[i];
		sum += l > 30 ? std::exp(-l) / std::numbers::ln2 : std::log2(1 + std::exp(-l));
	}
	return count - sum;
}

template <int M> void point(const Profile &profile, double snr_db, int bursts)
{
	constexpr int payload_bits = 8 * FadedBursts<M>::bytes, bits = FadedBursts<M>::bits;
	FadedBursts<M> faded;
	int capable = 0, soft[3] = {};
	for (int seed = 1; seed <= bursts; ++seed) {
		faded.send(seed, snr_db + carrier_gain_db, profile.delay_ms, profile.spread_hz);
		// One bit per axis: BPSK puts all of a symbol's energy on one,
		// QPSK half on each.
		double carried = 0;
		for (int s = 1; s <= FadedBursts<M>::symbols; ++s)
			for (int k = 0; k < 256; ++k)
				carried += bits * binary_capacity(norm(faded.truth[s][k]) / faded.noise_power * 2 / bits);
		capable += carried >= payload_bits;
		faded.known_channel();
		const double told = information(faded.demod->ratios(), faded.word, Air::code_length);
		for (int i = 0; i < 3; ++i) soft[i] += told >= payload_bits * (1 + 0.1 * i);
	}
	std::printf("%s,%d,%g,%d,%d,%d,%d\n", profile.name, M, snr_db, capable, soft[0], soft[1], soft[2]);
	std::fflush(stdout);
}

}

int main(int argc, char **argv)
{
	const int bursts = argc > 1 ? std::atoi(argv[1]) : 400;
	const char *only_profile = argc > 2 && std::strcmp(argv[2], "all") ? argv[2] : nullptr;
	const int only_mapping = argc > 3 ? std::atoi(argv[3]) : 0;
	std::vector<double> snrs;
	for (int i = 4; i < argc; ++i) snrs.push_back(std::atof(argv[i]));
	if (snrs.empty()) snrs = {-3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 9};
	const Profile profiles[] = {{"moderate", 1, 0.5}, {"poor", 2, 1}, {"white", 0, 0}};
	std::printf("profile,mapping,snr_3k_db,capable,soft_0,soft_10,soft_20\n");
	for (const Profile &profile : profiles) {
		if (only_profile && std::strcmp(only_profile, profile.name)) continue;
		for (double snr : snrs) {
			if (only_mapping != 2) point<4>(profile, snr, bursts);
			if (only_mapping != 4) point<2>(profile, snr, bursts);
		}
	}
}
