// Decodes s16 audio from standard input with libofdm_burst and prints the
// lines decode_stream prints: ./decode 48000 4 < ../bursts_48000_4.s16
#include <ofdm_burst.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
	int rate = argc > 1 ? std::stoi(argv[1]) : 48000, mapping = argc > 2 ? std::stoi(argv[2]) : 4, error;
	std::unique_ptr<ofdm_burst_receiver, decltype(&ofdm_burst_receiver_destroy)> rx(
	    ofdm_burst_receiver_create(rate, mapping, 0, &error), ofdm_burst_receiver_destroy);
	if (!rx) {
		std::cerr << ofdm_burst_strerror(error) << '\n';
		return 1;
	}
	auto print = [](const ofdm_burst_event *event, void *) {
		char line[1024];
		ofdm_burst_event_line(event, line, sizeof line);
		std::puts(line);
	};
	std::vector<int16_t> samples(1000); // any number of frames will do
	while (size_t frames = std::fread(samples.data(), sizeof samples[0], samples.size(), stdin))
		ofdm_burst_receiver_feed(rx.get(), samples.data(), frames, print, nullptr);
	ofdm_burst_receiver_finish(rx.get(), print, nullptr);
}
