// The station's page without a sound card: raw 16-bit mono from standard
// input through the stream layer to the web server, transmissions asked for
// appended as JSON lines to the file named by STATION_SENT. For the browser test, until a station
// program serves the page. Runs until SIGTERM or SIGINT.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#include <unistd.h>

#include "tools/io/event_json.hh"
#include "tools/station/page_feed.hh"
#include "tools/station/web_server.hh"

namespace {

volatile std::sig_atomic_t stop = 0;

void on_signal(int) { stop = 1; }

} // namespace

int main(int argc, char **argv)
{
	int rate = 8000, mapping = 4;
	ListenAddress where;
	const char *sent_path = std::getenv("STATION_SENT");
	std::string error;
	for (int i = 1; i + 1 < argc; i += 2) {
		std::string key = argv[i], value = argv[i + 1];
		if (key == "--rate") rate = std::stoi(value);
		else if (key == "--mapping") mapping = std::stoi(value);
		else if (key == "--listen" && !parse_listen(value, where, error)) return std::cerr << error << "\n", 2;
	}
	struct sigaction action = {};
	action.sa_handler = on_signal; // no SA_RESTART: a signal ends the wait for input
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);
	std::signal(SIGPIPE, SIG_IGN);

	Bus bus(8, 512);
	SendQueue queue(8);
	WebOptions options;
	options.listen = where;
	WebServer server(bus, queue, options);
	if (!server.start(error)) return std::cerr << error << "\n", 1;
	std::cerr << "listening on http://" << where.host << ":" << server.port() << "/\n";

	std::thread sender([&] {
		std::ofstream sent(sent_path ? sent_path : "/dev/null", std::ios::app);
		Transmission t;
		while (!stop) {
			if (!queue.pop(t, std::chrono::milliseconds(100))) continue;
			sent << "{\"call\":\"" << json_text(reinterpret_cast<const unsigned char *>(t.call.data()), t.call.size())
			     << "\",\"mode\":" << t.mode << ",\"payload\":\""
			     << json_text(reinterpret_cast<const unsigned char *>(t.payload.data()), t.payload.size())
			     << "\",\"source\":\"" << t.source << "\"}" << std::endl;
		}
	});

	StreamReceiver stream(rate, mapping, 0);
	PageFeed feed(bus, stream);
	std::vector<short> block(size_t(stream.block_frames()));
	size_t fill = 0, blocks = 0;
	short peak = 0;
	while (!stop) {
		ssize_t got = read(0, reinterpret_cast<char *>(block.data()) + fill, block.size() * 2 - fill);
		if (got <= 0) break;
		fill += size_t(got);
		if (fill < block.size() * 2) continue;
		fill = 0;
		stream.feed(block.data(), block.size(), feed);
		for (short s : block) peak = std::max(peak, short(std::min(32767, std::abs(int(s)))));
		if (++blocks % 25) continue;
		bus.publish("status", "{\"level\":" + std::to_string(peak ? 20 * std::log10(peak / 32768.0) : -96.0) +
					      ",\"clipping\":" + (peak == 32767 ? "true" : "false") + ",\"tx\":\"idle\"}");
		peak = 0;
	}
	if (!stop) stream.finish(feed);
	while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
	queue.close();
	sender.join();
	server.stop();
}
