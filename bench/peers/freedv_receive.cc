// freedv_receive: reads signed 16-bit PCM at 8000 Hz on standard input and
// prints a line for every FreeDV raw-data frame whose CRC-16 passes (see
// report_frame).

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/peers/burst_payload.hh"
#include "bench/peers/freedv_mode.hh"
#include "bench/peers/pcm.hh"

int main(int argc, char **argv)
{
	int mode = argc == 4 ? freedv_mode(argv[1]) : -1;
	if (mode < 0) {
		std::fputs("usage: freedv_receive DATAC0|DATAC1|DATAC3 BURSTS SEED < in.s16\n", stderr);
		return 1;
	}
	unsigned bursts = std::atoi(argv[2]);
	uint64_t seed = std::strtoull(argv[3], nullptr, 10);
	struct freedv *modem = freedv_open(mode);
	// Back to searching for a preamble after each frame.
	freedv_set_frames_per_burst(modem, 1);
	int payload = freedv_payload_bytes(modem);
	std::vector<short> in(freedv_get_n_max_modem_samples(modem));
	std::vector<unsigned char> bytes(payload + 2);
	uint64_t position = 0;
	for (;;) {
		int nin = freedv_nin(modem);
		if (read_samples(in.data(), nin) < size_t(nin)) break;
		position += nin;
		double start = cpu_seconds();
		if (freedv_rawdatarx(modem, bytes.data(), in.data()) == 0) continue;
		if (freedv_gen_crc16(bytes.data(), payload) == (bytes[payload] << 8 | bytes[payload + 1]))
			report_frame(bytes.data(), payload, seed, bursts, position, cpu_seconds() - start);
	}
	freedv_close(modem);
	return 0;
}
