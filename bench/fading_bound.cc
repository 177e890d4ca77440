// How close the enhanced demodulator's payload stage comes to a receiver
// that knew every symbol, and to one that knew the channel itself, under
// the Watterson profiles: mode 15 bursts sampled once per symbol
// (testing/faded_bursts.hh), so that detection, metadata and the fading
// within a symbol play no part. Per point: bursts whose payload the first
// demodulation gives, the first and the rounds from its own decisions
// (with and without turning back slips), the receiver's whole retry
// sequence (turbo passes included), the genie, whose channel is measured
// with every symbol known, and the true channel and noise power, each
// without and with turbo passes. The true channel with its passes is the
// most this code and list decoder can make of the air interface's symbols.
//
// Usage: fading_bound [BURSTS [PROFILE [MAPPING [SNR ...]]]]
// (default 100 bursts, both profiles, mappings 4 and 2, SNRs 0 to 30 dB)
// prints CSV rows
// profile,mapping,snr_3k_db,first,rounds,retry,genie,genie_passes,channel,channel_passes,wrong
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "testing/faded_bursts.hh"

namespace {

struct Profile
{
	const char *name;
	double delay_ms, spread_hz;
};

// Per carrier the signal stands 10·log10(3000 / 1600) dB higher against the
// noise than in 3 kHz: the carriers fill 1600 Hz.
constexpr double carrier_gain_db = 2.73;

template <int M> void point(const Profile &profile, double snr_db, int bursts)
{
	FadedBursts<M> faded;
	int first = 0, rounds = 0, retry = 0, genie = 0, genie_passes = 0, channel = 0, channel_passes = 0, wrong = 0;
	for (int seed = 1; seed <= bursts; ++seed) {
		faded.send(seed, snr_db + carrier_gain_db, profile.delay_ms, profile.spread_hz);
		int got = faded.decodes();
		wrong += got < 0;
		first += got > 0;
		for (bool untwist : {true, false}) {
			if (got) break;
			faded.round(untwist);
			got = faded.decodes();
			wrong += got < 0;
		}
		rounds += got > 0;
		got = faded.retried();
		wrong += got < 0;
		retry += got > 0;
		faded.genie();
		got = faded.iterated();
		wrong += got < 0;
		genie += got == 1;
		genie_passes += got > 0;
		faded.known_channel();
		got = faded.iterated();
		wrong += got < 0;
		channel += got == 1;
		channel_passes += got > 0;
	}
	std::printf("%s,%d,%g,%d,%d,%d,%d,%d,%d,%d,%d\n", profile.name, M, snr_db, first, rounds, retry, genie, genie_passes,
		    channel, channel_passes, wrong);
	std::fflush(stdout);
}

}

int main(int argc, char **argv)
{
	const int bursts = argc > 1 ? std::atoi(argv[1]) : 100;
	const char *only_profile = argc > 2 && std::strcmp(argv[2], "all") ? argv[2] : nullptr;
	const int only_mapping = argc > 3 ? std::atoi(argv[3]) : 0;
	std::vector<double> snrs;
	for (int i = 4; i < argc; ++i) snrs.push_back(std::atof(argv[i]));
	if (snrs.empty()) snrs = {0, 3, 6, 9, 12, 15, 20, 30};
	const Profile profiles[] = {{"moderate", 1, 0.5}, {"poor", 2, 1}};
	std::printf("profile,mapping,snr_3k_db,first,rounds,retry,genie,genie_passes,channel,channel_passes,wrong\n");
	for (const Profile &profile : profiles) {
		if (only_profile && std::strcmp(only_profile, profile.name)) continue;
		for (double snr : snrs) {
			if (only_mapping != 2) point<4>(profile, snr, bursts);
			if (only_mapping != 4) point<2>(profile, snr, bursts);
		}
	}
}
