// burst_station: a live station. Listens to a sound card (or a file), reports
// what it hears as decode_stream does, and sends what it is asked to, keying
// the radio around each burst.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <pthread.h>
#include <thread>

#include "stream/stream_receiver.hh"
#include "tools/station/alsa_pcm.hh"
#include "tools/station/audio_out.hh"
#include "tools/station/bus.hh"
#include "tools/station/capture.hh"
#include "tools/station/event_log.hh"
#include "tools/station/hamlib_line.hh"
#include "tools/station/ptt_switch.hh"
#include "tools/station/send_fifo.hh"
#include "tools/station/send_queue.hh"
#include "tools/station/station_listener.hh"
#include "tools/station/station_options.hh"
#include "tools/station/station_status.hh"
#include "tools/station/transmitter.hh"
#include "tools/station/web_server.hh"

namespace {

const char usage[] = R"(Usage: burst_station [OPTION]... [RATE [MAPPING [CHANNEL]]]
A station for OFDM bursts: listens to a sound card, writes one line per event
on standard output as decode_stream does, and sends queued messages, keying
the radio around each.

  RATE, MAPPING, CHANNEL  as for decode_stream (default 48000 any 0): MAPPING
                          any listens for 2, 4 and 8 at once; the transmitter
                          sends at RATE

Audio:
  -D, --device NAME         ALSA capture device (default "default")
  -O, --output-device NAME  ALSA playback device (default: the capture device;
                            none with --input or --audio-out)
      --list-devices        list the ALSA devices and exit
  -i, --input FILE|-        read a file (or raw PCM / WAV on standard input)
                            instead of a device; the station ends with it,
                            after sending what is queued
  -R, --input-rate HZ       sample rate of raw input (default RATE)
      --realtime            read --input at its sample rate, as a card would
  -a, --audio-out FILE      also write what is played to FILE (WAV), each burst
                            with its lead-in and tail as silence
      --duration SEC        stop after SEC seconds of input
      --buffer SEC          input that may wait for the receiver (default 2)

Events:
  -t, --timestamps[=WHEN]   position (default) or wall, as decode_stream
  -f, --format FORMAT       lines (default) or json, as decode_stream
  -d, --demod NAME          reference (default) or enhanced
  -l, --log FILE            append each event to FILE as a JSON line with the
                            wall-clock time
      --listen ADDR:PORT    serve the page there (default 127.0.0.1:8073); an
                            address other machines reach is reported
      --no-web              serve no page

Sending:
      --send-fifo PATH      queue the lines "CALL MODE PAYLOAD" written to the
                            named pipe PATH (made when missing); MODE is 14,
                            15, 16 or ping
      --rig MODEL           key through Hamlib rig MODEL (2: a rigctld)
      --rig-port PORT       the rig's port (host:port for model 2)
      --ptt rts|dtr|none    key with a serial port's RTS or DTR line
      --ptt-port DEVICE     that serial port
      --tx-delay MS         from keying to the first sample (default 300)
      --tx-tail MS          from the last sample played to release (default 100)
      --tx-limit SEC        release the key after SEC seconds whatever happens
                            (default 10)
      --tx-freq HZ          centre frequency of the bursts (default 1500)
      --tx-level DBFS       RMS level of the bursts (default -18)
      --tx-mapping M        mapping of the bursts sent, 2, 4 or 8 (default
                            MAPPING, or 4 with any)

  -h, --help                show this text
  -V, --version             show the version

Every 60 s, and on SIGUSR1, one status line on standard error: the measured
input rate, overruns, input level and clipping. SIGINT and SIGTERM end the
station; the key is released on every way out.

Exit status: 0 at a signal or the end of the input; 1 for a value that does
not fit or a file that cannot be opened; 2 for an unknown option.
)";

std::atomic<PttSwitch *> exit_ptt{nullptr};

// The last word of the program, whichever way it ends: the key released.
void release_at_exit()
{
	if (PttSwitch *ptt = exit_ptt.load()) ptt->release();
}

[[noreturn]] void release_at_terminate()
{
	release_at_exit();
	std::abort();
}

std::unique_ptr<PttLine> ptt_line(const StationOptions &o)
{
	if (o.rig) return std::make_unique<HamlibLine>(o.rig, o.rig_port);
	if (o.ptt != "none") return std::make_unique<SerialLine>(o.ptt_port, o.ptt == "dtr");
	return std::make_unique<VoxLine>();
}

void list_devices()
{
	for (const std::string &line : alsa_device_names()) std::printf("%s\n", line.c_str());
	std::exit(EXIT_DONE);
}

void report(const std::string &what) { std::fprintf(stderr, "%s: %s\n", program_name, what.c_str()); }

int run(const StationOptions &o)
{
	using Clock = std::chrono::steady_clock;
	// Signals reach no thread but this one, which takes them in its loop.
	sigset_t signals;
	sigemptyset(&signals);
	for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&signals, s);
	pthread_sigmask(SIG_BLOCK, &signals, nullptr);

	PttSwitch ptt(ptt_line(o));
	exit_ptt.store(&ptt);
	std::atexit(release_at_exit);
	std::set_terminate(release_at_terminate);
	std::string ptt_trouble = ptt.release();
	if (!ptt_trouble.empty()) report("PTT: " + ptt_trouble + "; trying again");

	int width = o.channel >= 1 && o.channel <= 4 ? 2 : 1;
	SpscRing<short> ring(size_t(o.buffer * o.rate) * width);
	InputMeter meter;
	Capture capture(ring, meter, o.rate, width, o.duration);
	Bus bus(8, 1024);
	SendQueue queue(16);
	EventLog log(o.log);
	std::unique_ptr<AudioOut> audio_out;
	if (!o.audio_out.empty()) audio_out = std::make_unique<AudioOut>(o.audio_out, o.rate);
	std::unique_ptr<SendFifo> fifo;
	if (!o.send_fifo.empty()) fifo = std::make_unique<SendFifo>(o.send_fifo, queue);

	TransmitterSettings tx;
	tx.burst = {o.rate, o.tx_mapping, o.tx_freq, o.tx_level};
	tx.device = !o.output_device.empty()         ? o.output_device
	            : o.from_file || audio_out ? ""
	                                       : o.device;
	tx.delay = std::chrono::milliseconds(o.tx_delay);
	tx.tail = std::chrono::milliseconds(o.tx_tail);
	Transmitter transmitter(queue, ptt, capture, audio_out.get(), tx);

	StreamReceiver stream(o.rate, o.mapping, o.channel, o.demodulator);
	StationListener listener(stream, o.json, o.timestamps, o.mapping, log, bus);
	stream.feed(nullptr, 0, listener);

	// Served before the input is opened: a pipe that has not yet given its
	// first bytes would otherwise keep the page away.
	std::unique_ptr<WebServer> page;
	if (o.web) {
		WebOptions web;
		web.listen = o.listen;
		page = std::make_unique<WebServer>(bus, queue, web);
		std::string why;
		if (!page->start(why)) report("page: " + why + "; serving none"), page.reset();
		else if (std::string warning = listen_warning(o.listen); !warning.empty()) report(warning);
	}

	// Opened here, so that a file that cannot be read ends the program
	// before any thread runs.
	std::unique_ptr<AudioInput> input;
	if (o.from_file) input = std::make_unique<AudioInput>(o.input, o.rate, o.channel);

	std::atomic<bool> received_all{false}, transmitted_all{false};
	std::thread capturing([&] {
		if (input) capture.run_file(*input, o.realtime);
		else capture.run_device(o.device);
	});
	std::thread receiving([&] {
		// The ring holds the card's rate, which need not be the receiver's.
		std::vector<short> block(size_t(o.rate / 50) * width * 4), converted;
		std::vector<float> floats;
		std::unique_ptr<RateConverter> converter;
		int converter_rate = 0;
		for (;;) {
			size_t values = ring.pop(block.data(), block.size());
			if (!values) {
				if (capture.ended.load() && !ring.held()) break;
				std::this_thread::sleep_for(std::chrono::milliseconds(5));
				continue;
			}
			int rate = capture.ring_rate.load();
			if (rate == o.rate) {
				stream.feed(block.data(), values / width, listener);
				continue;
			}
			if (rate != converter_rate) converter = std::make_unique<RateConverter>(rate, o.rate, width);
			converter_rate = rate;
			floats.resize(values);
			for (size_t i = 0; i < values; ++i) floats[i] = block[i] / 32768.f;
			const std::vector<float> &out = converter->convert(floats.data(), values / width);
			converted.resize(out.size());
			for (size_t i = 0; i < out.size(); ++i) converted[i] = pcm16(out[i]);
			stream.feed(converted.data(), converted.size() / width, listener);
		}
		stream.finish(listener);
		received_all.store(true);
	});
	std::thread transmitting([&] {
		transmitter.run();
		transmitted_all.store(true);
	});
	std::thread reading_fifo;
	if (fifo) reading_fifo = std::thread([&] { fifo->run(); });

	Clock::time_point start = Clock::now(), last_line = start, last_event = start, last_settle = start;
	uint64_t frames_at_line = 0, frames_at_event = 0;
	auto status = [&](Clock::time_point now, bool line) {
		StationStatus s;
		Clock::time_point since = line ? last_line : last_event;
		double seconds = std::chrono::duration<double>(now - since).count();
		uint64_t frames = meter.frames.load();
		s.input_rate = seconds > 0 ? (frames - (line ? frames_at_line : frames_at_event)) / seconds : 0;
		s.input_lost = capture.device_lost.load();
		s.keyed = ptt.keyed();
		s.queued = queue.size();
		s.underruns = transmitter.underruns.load();
		s.sent = transmitter.sent.load();
		if (line) {
			report(status_line(meter, s));
			last_line = now, frames_at_line = frames;
		} else {
			bus.publish("status", status_json(meter, s));
			last_event = now, frames_at_event = frames;
		}
	};
	for (;;) {
		timespec tick{0, 50000000};
		int signal = sigtimedwait(&signals, nullptr, &tick);
		if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) break;
		Clock::time_point now = Clock::now();
		if (signal == SIGUSR1 || now - last_line >= std::chrono::seconds(60)) status(now, true);
		if (now - last_event >= std::chrono::milliseconds(500)) status(now, false);
		if (ptt.wanted() && ptt.keyed_for() > std::chrono::duration<double>(o.tx_limit)) {
			transmitter.abort.store(true);
			std::string why = ptt.release();
			report("watchdog: transmitting for longer than " + std::to_string(o.tx_limit) + " s: key released" +
			       (why.empty() ? "" : " (" + why + ")"));
		}
		if (now - last_settle >= std::chrono::seconds(1)) {
			std::string why = ptt.settle();
			if (!why.empty() && why != ptt_trouble) report("PTT: " + why + "; trying again");
			if (why.empty() && !ptt_trouble.empty()) report("PTT: " + ptt.name() + " answers again");
			ptt_trouble = why;
			last_settle = now;
		}
		if (received_all.load()) transmitter.finishing.store(true);
		if (received_all.load() && transmitted_all.load()) break;
	}
	capture.stop.store(true);
	transmitter.stop.store(true);
	if (fifo) fifo->stop.store(true);
	capturing.join();
	transmitting.join();
	receiving.join();
	if (reading_fifo.joinable()) reading_fifo.join();
	if (std::string why = ptt.release(); !why.empty()) report("PTT: " + why);
	if (page) page->stop();
	bus.close();
	queue.close();
	status(Clock::now(), true);
	exit_ptt.store(nullptr);
	return EXIT_DONE;
}

}

int main(int argc, char **argv)
{
	start_program("burst_station");
	StationOptions o = parse_station_options(argc, argv);
	if (o.help) print_and_exit(usage);
	if (o.version) print_and_exit(version_text());
	if (!o.error.empty()) fail(o.error, o.status);
	if (o.list_devices) list_devices();
	try {
		return run(o);
	} catch (const std::bad_alloc &) {
		fail("out of memory");
	}
}
