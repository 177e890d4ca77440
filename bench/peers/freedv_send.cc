// freedv_send: FreeDV raw-data bursts (preamble, one frame with its CRC-16,
// postamble) as signed 16-bit PCM at 8000 Hz on standard output.

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/peers/burst_payload.hh"
#include "bench/peers/freedv_mode.hh"
#include "bench/peers/pcm.hh"

int main(int argc, char **argv)
{
	int mode = argc == 5 ? freedv_mode(argv[1]) : -1;
	if (mode < 0) {
		std::fputs("usage: freedv_send DATAC0|DATAC1|DATAC3 BURSTS SEED SILENCE_S > out.s16\n", stderr);
		return 1;
	}
	unsigned bursts = std::atoi(argv[2]);
	uint64_t seed = std::strtoull(argv[3], nullptr, 10);
	size_t silence = std::lround(std::atof(argv[4]) * 8000);
	struct freedv *modem = freedv_open(mode);
	int payload = freedv_payload_bytes(modem);
	std::vector<short> pre(freedv_get_n_tx_preamble_modem_samples(modem));
	std::vector<short> frame(freedv_get_n_tx_modem_samples(modem));
	std::vector<short> post(freedv_get_n_tx_postamble_modem_samples(modem));
	for (unsigned i = 0; i < bursts; ++i) {
		std::vector<unsigned char> bytes = burst_payload(seed, i, payload);
		unsigned short crc = freedv_gen_crc16(bytes.data(), payload);
		bytes.push_back(crc >> 8);
		bytes.push_back(crc & 255);
		std::vector<float> burst;
		int n = freedv_rawdatapreambletx(modem, pre.data());
		burst.insert(burst.end(), pre.begin(), pre.begin() + n);
		freedv_rawdatatx(modem, frame.data(), bytes.data());
		burst.insert(burst.end(), frame.begin(), frame.end());
		n = freedv_rawdatapostambletx(modem, post.data());
		burst.insert(burst.end(), post.begin(), post.begin() + n);
		write_burst(burst, silence);
	}
	freedv_close(modem);
	return 0;
}
