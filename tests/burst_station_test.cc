#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <memory>
#include <poll.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/program.hh"

// burst_station through the real ALSA code: the test writes an ALSA
// configuration whose capture device reads a recording (the file plugin
// over a null device, which gives frames as fast as they are asked for)
// and whose playback devices write what they are given; the radio is
// Hamlib's dummy rig behind rigctld, with a relay that logs when the
// station keys and releases it.

namespace {

const std::string station = BURST_STATION, decode = DECODE_STREAM, encode = ENCODE_STREAM;
using Clock = std::chrono::steady_clock;

double now_seconds() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

bool have(const std::string &tool) { return std::system(("command -v " + tool + " > /dev/null").c_str()) == 0; }

// The ALSA devices of one test, in its own directory.
struct Alsa
{
	TempDir dir;
	std::string conf = dir.file("asound.conf");

	Alsa()
	{
		std::string in = dir.file("in.raw"), out = dir.file("out.raw"), fifo = dir.file("played.fifo");
		write_file(in, "");
		write_file(conf, "pcm.quiet { type null }\n"
				 "pcm.station_in { type file slave.pcm \"quiet\" file \"/dev/null\" infile \"" + in +
				     "\" format \"raw\" hint { show on description \"the test's recording\" } }\n"
				     // Appends, so that every transmission, which opens the device anew, is kept.
				     "pcm.station_out { type file slave.pcm \"quiet\" file \"|cat >> " + out +
				     "\" format \"raw\" }\n"
				     "pcm.timed_out { type file slave.pcm \"quiet\" file \"" + fifo + "\" format \"raw\" }\n"
				     "pcm.broken_out { type file slave.pcm \"quiet\" file \"|true\" format \"raw\" }\n");
		mkfifo(fifo.c_str(), 0600);
	}

	// The station's command line with the configuration in its environment.
	std::string command(const std::string &arguments) const
	{
		return "export ALSA_CONFIG_PATH=" + conf + "; exec " + station + " --no-web " + arguments;
	}

	// The same with the devices of tests/device_shim.cc, set by variables
	// ("NAME=VALUE ..."), and the page served.
	std::string faulty(const std::string &variables, const std::string &arguments) const
	{
		// A sanitizer's runtime would refuse to come after the preloaded library.
		return "export ALSA_CONFIG_PATH=" + conf + " LD_PRELOAD=" DEVICE_SHIM " ALSA_FAULTS=" + dir.file("") + " " +
		       variables + " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0; exec " + station +
		       " " + arguments;
	}
};

// A program running in the background, by its process id.
class Background
{
public:
	explicit Background(const std::string &command)
	{
		pid = fork();
		if (pid == 0) {
			execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
			_exit(127);
		}
	}
	~Background()
	{
		if (pid > 0) kill(pid, SIGKILL), finish();
	}

	void signal(int number) { kill(pid, number); }

	// False once it has ended (it is then reaped).
	bool alive()
	{
		int status;
		if (waitpid(pid, &status, WNOHANG) != pid) return true;
		code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		pid = -1;
		return false;
	}

	int finish()
	{
		if (pid < 0) return code;
		int status = 0;
		waitpid(pid, &status, 0);
		pid = -1;
		return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	}

private:
	pid_t pid;
	int code = -1;
};

// Writes lines into the station's send FIFO: the open waits for the
// station to hold it.
void send_lines(const std::string &fifo, const std::string &lines)
{
	int fd = open(fifo.c_str(), O_WRONLY);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(write(fd, lines.data(), lines.size()), ssize_t(lines.size()));
	close(fd);
}

std::string silence(double seconds, int rate = 48000) { return std::string(size_t(seconds * rate) * 2, '\0'); }

// A port nobody listens on now.
int free_port()
{
	int fd = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in address{};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
	socklen_t size = sizeof address;
	getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
	close(fd);
	return ntohs(address.sin_port);
}

// Waits until the file holds the text; false when the program ended first
// without writing it.
bool wait_for(const std::string &path, const std::string &text, Background &program)
{
	while (read_file(path).find(text) == std::string::npos) {
		if (!program.alive()) return read_file(path).find(text) != std::string::npos;
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	}
	return true;
}


TEST(StationAudio, LinesEqualDecodeStreamsOnTheSameRecording)
{
	// The station listens for any mapping unless told one.
	for (const char *options : {"", "-f json -t", "-t 48000 any", "48000 4 -f json"}) {
		Alsa alsa;
		std::string recording =
		    run_program(encode + " -s 0.5 -L -C DL1ABC", "first burst\nsecond, mode 16\nthird <b>\n").out + silence(3);
		write_file(alsa.dir.file("in.raw"), recording);
		double seconds = recording.size() / 2 / 48000.0;
		// A buffer that holds the whole recording: the device gives it
		// faster than any receiver takes it.
		ProgramResult got = run_program(alsa.command("-D station_in --buffer 60 --duration " +
							     std::to_string(seconds) + " " + options));
		std::string receiver = std::strstr(options, "48000") ? "" : " 48000 any";
		ProgramResult want = run_program(decode + " " + options + receiver + " -i " + alsa.dir.file("in.raw"));
		EXPECT_EQ(got.status, 0) << got.err;
		ASSERT_EQ(std::count(want.out.begin(), want.out.end(), '\n'), 6);
		EXPECT_EQ(got.out, want.out) << options;
		EXPECT_NE(got.err.find("overruns 0, lost 0 frames"), std::string::npos) << got.err;
	}
}

// A capture device that is not there is reported and opened again until it
// is; then nothing of the recording is lost.
TEST(StationAudio, MissingCaptureDeviceIsTriedAgain)
{
	Alsa alsa;
	std::string in = alsa.dir.file("in.raw"), recording = run_program(encode + " -s 0.5 -t again").out + silence(2);
	unlink(in.c_str());
	Background running(alsa.command("-D station_in --buffer 60 --duration " +
					std::to_string(recording.size() / 2 / 48000.0) + " > " + alsa.dir.file("out") +
					" 2> " + alsa.dir.file("err")));
	while (read_file(alsa.dir.file("err")).find("trying again every 3 s") == std::string::npos)
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	write_file(in, recording);
	EXPECT_EQ(running.finish(), 0);
	EXPECT_EQ(read_file(alsa.dir.file("out")), run_program(decode + " -i " + in + " 48000 any").out);
	EXPECT_NE(read_file(alsa.dir.file("err")).find("station_in is back"), std::string::npos);
}

// A card unplugged while the station listens: reported and opened again
// every few seconds, with the page served and the log kept meanwhile; what
// it gives once it is back is heard, and nothing it gave before is lost.
TEST(StationAudio, UnpluggedCaptureDeviceIsOpenedAgain)
{
	Alsa alsa;
	std::string before = run_program(encode + " -s 0.5 -t before -C K1ABC").out + silence(1),
		    after = run_program(encode + " -s 0.5 -t after -C K2ABC").out + silence(1);
	std::string in = alsa.dir.file("in.raw"), out = alsa.dir.file("out"), err = alsa.dir.file("err"),
		    log = alsa.dir.file("log"), both = alsa.dir.file("both.raw");
	write_file(in, before);
	write_file(both, before + after);
	int port = free_port();
	Background running(alsa.faulty("ALSA_FAULTS_CAPTURE_FRAMES=" + std::to_string(before.size() / 2),
				       "-D station_in --buffer 60 --duration " +
					   std::to_string((before.size() + after.size()) / 2 / 48000.0) +
					   " --listen 127.0.0.1:" + std::to_string(port) + " --log " + log + " > " + out +
					   " 2> " + err));
	ASSERT_TRUE(wait_for(err, "station_in: No such device; trying again every 3 s", running)) << read_file(err);
	httplib::Client page("127.0.0.1", port);
	std::string events;
	Clock::time_point give_up = Clock::now() + std::chrono::seconds(20);
	page.Get("/events", [&](const char *data, size_t size) {
		events.append(data, size);
		return events.find("\"input\":\"lost\"") == std::string::npos && Clock::now() < give_up;
	});
	EXPECT_NE(events.find("\"input\":\"lost\""), std::string::npos) << events.substr(0, 300);
	// Plugged in again, the card gives what follows.
	write_file(in, after);
	unlink(alsa.dir.file("capture_gone").c_str());
	EXPECT_EQ(running.finish(), 0) << read_file(err);
	EXPECT_NE(read_file(err).find("station_in is back"), std::string::npos) << read_file(err);
	std::string heard = read_file(out);
	EXPECT_EQ(heard, run_program(decode + " -i " + both + " 48000 any").out);
	EXPECT_NE(heard.find("PAYLOAD:after"), std::string::npos) << heard;
	std::string logged = read_file(log);
	EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 4) << logged;
}

// A card that gives 48000 Hz only, to a station at 8000 Hz: the station
// says so once for each direction and resamples both ways. It hears what
// decode_stream hears in the same recording, and what it plays decodes.
TEST(StationAudio, CardOfAnotherRateIsResampled)
{
	Alsa alsa;
	std::string recording =
	    run_program(encode + " -s 0.5 -L -C DL1ABC", "first at 48000\nsecond at 48000\n").out + silence(2);
	write_file(alsa.dir.file("in.raw"), recording);
	std::string fifo = alsa.dir.file("send"), out = alsa.dir.file("out"), err = alsa.dir.file("err");
	mkfifo(fifo.c_str(), 0600);
	Background running(alsa.faulty("ALSA_FAULTS_RATE=48000 ALSA_FAULTS_CAPTURE_FRAMES=" +
					   std::to_string(recording.size() / 2),
				       "8000 --no-web -D station_in --buffer 60 --duration " +
					   std::to_string(recording.size() / 2 / 48000.0 + 10) + " --send-fifo " + fifo +
					   " -O station_out --tx-delay 0 --tx-tail 0 > " + out + " 2> " + err));
	// Sent once all is heard: the station hears nothing while it sends.
	// The card is unplugged before the duration, counted in its frames, ends.
	ASSERT_TRUE(wait_for(err, "No such device", running)) << read_file(err);
	send_lines(fifo, "G4ABC 16 played at 48000\nG4ABC 16 twice\n");
	// Ended once both went out, as the status line says.
	while (read_file(err).find("sent 2,") == std::string::npos && running.alive()) {
		running.signal(SIGUSR1);
		std::this_thread::sleep_for(std::chrono::milliseconds(200));
	}
	running.signal(SIGTERM);
	EXPECT_EQ(running.finish(), 0) << read_file(err);
	std::string said = read_file(err);
	auto count = [&said](const std::string &text) {
		size_t n = 0;
		for (size_t at = said.find(text); at != std::string::npos; at = said.find(text, at + 1)) ++n;
		return n;
	};
	EXPECT_EQ(count("station_in gives 48000 Hz: resampling to 8000 Hz"), 1u) << said;
	EXPECT_EQ(count("station_out plays 48000 Hz: resampling from 8000 Hz"), 1u) << said;
	EXPECT_EQ(read_file(out), run_program(decode + " -R 48000 -i " + alsa.dir.file("in.raw") + " 8000 any").out);
	EXPECT_EQ(run_program(decode + " -i " + alsa.dir.file("out.raw") + " 48000 4").out,
		  "EVENT:SYNC|CFO:1500|MODE:16|CALL:G4ABC    \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:played at 48000\n"
		  "EVENT:SYNC|CFO:1500|MODE:16|CALL:G4ABC    \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:twice\n");
}

// SIGUSR1 asks for the status line at once; another comes at the end.
TEST(StationAudio, StatusLineOnRequest)
{
	TempDir dir;
	write_file(dir.file("in.raw"), silence(2));
	std::string fifo = dir.file("send");
	mkfifo(fifo.c_str(), 0600);
	Background running("exec " + station + " --no-web -i " + dir.file("in.raw") + " --realtime --send-fifo " + fifo +
			   " 2> " + dir.file("err"));
	send_lines(fifo, ""); // the station holds the FIFO: its signals are set up
	running.signal(SIGUSR1);
	while (read_file(dir.file("err")).empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
	EXPECT_EQ(running.finish(), 0);
	std::regex line("burst_station: input [0-9.]+ Hz, overruns 0, lost 0 frames, level -120.0 dBFS \\(peak "
			"-120.0\\), clipped 0, sent 0, underruns 0\n");
	std::string err = read_file(dir.file("err"));
	EXPECT_EQ(std::distance(std::sregex_iterator(err.begin(), err.end(), line), std::sregex_iterator()), 2) << err;
}

// A receiver slower than its input loses whole blocks, and says how many.
TEST(StationAudio, LostInputIsCounted)
{
	Alsa alsa;
	write_file(alsa.dir.file("in.raw"), silence(20));
	ProgramResult got = run_program(alsa.command("-D station_in --buffer 0.1 --duration 20"));
	EXPECT_EQ(got.status, 0);
	std::smatch lost;
	ASSERT_TRUE(std::regex_search(got.err, lost, std::regex("lost ([0-9]+) frames"))) << got.err;
	EXPECT_GT(std::stol(lost[1]), 0);
}

TEST(StationAudio, ListsTheConfiguredDevices)
{
	Alsa alsa;
	ProgramResult got = run_program(alsa.command("--list-devices"));
	EXPECT_EQ(got.status, 0);
	EXPECT_NE(got.out.find("station_in\t"), std::string::npos) << got.out;
	EXPECT_NE(got.out.find("the test's recording"), std::string::npos);
}

// What the FIFO queues reaches the playback device and the WAV file, and
// decodes back to what was sent; refused lines are reported.
TEST(StationAudio, PlayedAudioDecodesBackToWhatWasSent)
{
	for (int rate : {8000, 48000}) {
		Alsa alsa;
		write_file(alsa.dir.file("quiet.raw"), silence(2, rate));
		std::string fifo = alsa.dir.file("send"), wav = alsa.dir.file("sent.wav");
		mkfifo(fifo.c_str(), 0600);
		Background running(alsa.command(std::to_string(rate) + " -i " + alsa.dir.file("quiet.raw") +
						" --realtime -O station_out -a " + wav + " --send-fifo " + fifo + " > " +
						alsa.dir.file("out") + " 2> " + alsa.dir.file("err")));
		send_lines(fifo, "DL1ABC 16 hello from the station\nBAD/CALL 16 x\nK2XYZ ping\nN0CALL 15 " +
				     std::string(100, 'q') + "\n");
		EXPECT_EQ(running.finish(), 0);
		std::string err = read_file(alsa.dir.file("err"));
		EXPECT_NE(err.find("invalid call sign \"BAD/CALL\""), std::string::npos) << err;
		EXPECT_NE(err.find("sent 3,"), std::string::npos) << err;
		std::string want = "EVENT:SYNC|CFO:1500|MODE:16|CALL:DL1ABC   \n"
				   "EVENT:MESSAGE|FLIPS:0|PAYLOAD:hello from the station\n"
				   "EVENT:PING|CFO:1500|MODE:0|CALL:K2XYZ    \n"
				   "EVENT:SYNC|CFO:1500|MODE:15|CALL:N0CALL   \n"
				   "EVENT:MESSAGE|FLIPS:0|PAYLOAD:" + std::string(100, 'q') + "\n";
		std::string r = std::to_string(rate);
		EXPECT_EQ(run_program(decode + " -R " + r + " -i " + alsa.dir.file("out.raw") + " " + r).out, want);
		EXPECT_EQ(run_program(decode + " -i " + wav + " " + r).out, want);
		// The receiver did not report the station's own bursts.
		EXPECT_EQ(read_file(alsa.dir.file("out")), "");
	}
}

// The radio feeds the station's own burst back to its input. Keyed from
// the start for more than three seconds, the station hears nothing of the
// burst at 1 s; the one at 5.5 s, after the key, it reports.
TEST(StationAudio, DoesNotReportItsOwnBurst)
{
	TempDir dir;
	std::string heard = run_program(encode + " -s 1 -t own").out.substr(0, size_t(2.1 * 48000) * 2);
	std::string later = run_program(encode + " -s 0.5 -t other -C K9ZZZ").out;
	write_file(dir.file("in.raw"), heard + silence(5 - heard.size() / 96000.0) + later + silence(1));
	std::string fifo = dir.file("send");
	mkfifo(fifo.c_str(), 0600);
	Background running("exec " + station + " --no-web -i " + dir.file("in.raw") + " --realtime --tx-delay 2000 -a " +
			   dir.file("sent.wav") + " --send-fifo " + fifo + " > " + dir.file("out") + " 2> /dev/null");
	send_lines(fifo, "N0CALL 16 own\n");
	EXPECT_EQ(running.finish(), 0);
	EXPECT_EQ(read_file(dir.file("out")), "EVENT:SYNC|CFO:1500|MODE:16|CALL:K9ZZZ    \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:other\n");
}

TEST(StationLog, AppendsOneJsonLinePerEventWithTheWallClock)
{
	TempDir dir;
	std::string recording = run_program(encode + " -s 0.5 -t 'log me' -C G4XYZ").out, log = dir.file("log");
	write_file(dir.file("in.raw"), recording);
	for (int run = 0; run < 2; ++run)
		ASSERT_EQ(run_program(station + " --no-web -i " + dir.file("in.raw") + " --log " + log).status, 0);
	std::istringstream lines(read_file(log));
	std::regex sync("\\{\"kind\":\"SYNC\",\"time\":[0-9]+\\.[0-9]{3},\"wall\":\"20[0-9-]{8}T[0-9:.]{12}Z\",\"cfo\":1500,"
			"\"mode\":16,\"call\":\"G4XYZ\"\\}");
	std::regex message("\\{\"kind\":\"MESSAGE\",.*\"mapping\":4,\"payload\":\"log me\",\"payload_hex\":\"6c6f67206d65\","
			   "\"cfo\":1500,\"mode\":16,\"call\":\"G4XYZ\"\\}");
	std::string line;
	for (int run = 0; run < 2; ++run) {
		ASSERT_TRUE(std::getline(lines, line));
		EXPECT_TRUE(std::regex_match(line, sync)) << line;
		ASSERT_TRUE(std::getline(lines, line));
		EXPECT_TRUE(std::regex_match(line, message)) << line;
	}
	EXPECT_FALSE(std::getline(lines, line));
}

// Hamlib's dummy rig behind rigctld (which keeps a PTT state only with PTT
// type RIG), reached through a relay that logs the station's PTT commands
// with their times.
class Rig
{
public:
	Rig() : rig_port(free_port()), port(free_port()) { start(); }

	// Switched on again after stop(), on the same ports.
	void start()
	{
		write_file(dir.file("relay.out"), "");
		rigctld = std::make_unique<Background>("exec rigctld -m 1 -P RIG -t " + std::to_string(rig_port));
		relay = std::make_unique<Background>("exec python3 " SOURCE_DIR "/tests/rig_ptt_log.py " +
						     std::to_string(port) + " " + std::to_string(rig_port) + " " +
						     log_path + " > " + dir.file("relay.out"));
		// Ready once both answer.
		while (read_file(dir.file("relay.out")).empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
		while (state() != "0") std::this_thread::sleep_for(std::chrono::milliseconds(50));
	}

	// Gone as a rig whose cable is pulled: nothing answers on its port.
	void stop() { relay.reset(), rigctld.reset(); }

	std::string options() const { return "--rig 2 --rig-port 127.0.0.1:" + std::to_string(port); }

	// What the rig says its PTT is: "0" or "1".
	std::string state() const
	{
		std::string out = run_program("rigctl -m 2 -r 127.0.0.1:" + std::to_string(rig_port) + " t").out;
		return out.substr(0, out.find('\n'));
	}

	// The times of the station's PTT commands, "keyed" or "released".
	std::vector<std::pair<std::string, double>> log() const
	{
		std::vector<std::pair<std::string, double>> entries;
		std::istringstream in(read_file(log_path));
		std::string what;
		double when;
		while (in >> what >> when) entries.emplace_back(what, when);
		return entries;
	}

	// Waits until the station has keyed the rig.
	double keyed() const
	{
		for (;;) {
			for (auto [what, when] : log())
				if (what == "keyed") return when;
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		}
	}

	// The first release after keying.
	double released() const
	{
		bool on = false;
		for (auto [what, when] : log()) {
			if (what == "keyed") on = true;
			else if (on) return when;
		}
		return -1;
	}

private:
	TempDir dir;
	std::string log_path = dir.file("ptt.log");
	int rig_port, port;
	std::unique_ptr<Background> rigctld, relay;
};

bool rig_tools()
{
	return have("rigctld") && have("rigctl") && have("python3");
}

// The times when the first and the last bytes came out of a FIFO.
class FifoClock
{
public:
	explicit FifoClock(const std::string &path) : fd(open(path.c_str(), O_RDWR | O_NONBLOCK))
	{
		reader = std::thread([this] {
			char buffer[65536];
			while (!stop.load()) {
				pollfd p{fd, POLLIN, 0};
				if (poll(&p, 1, 20) <= 0) continue;
				ssize_t got = read(fd, buffer, sizeof buffer);
				if (got <= 0) continue;
				double now = now_seconds();
				if (bytes.empty()) first = now;
				last = now;
				bytes.append(buffer, got);
			}
		});
	}
	~FifoClock()
	{
		finish();
		close(fd);
	}

	// Once the writer is done.
	void finish()
	{
		stop.store(true);
		if (reader.joinable()) reader.join();
	}

	std::string bytes;
	double first = -1, last = -1;

private:
	int fd;
	std::atomic<bool> stop{false};
	std::thread reader;
};

TEST(StationPtt, KeyedBeforeTheFirstSampleReleasedAfterTheTail)
{
	if (!rig_tools()) GTEST_SKIP() << "rigctld, rigctl or python3 missing";
	Rig rig;
	Alsa alsa;
	write_file(alsa.dir.file("quiet.raw"), silence(3));
	std::string fifo = alsa.dir.file("send");
	mkfifo(fifo.c_str(), 0600);
	std::string played;
	double first, last;
	{
		FifoClock clock(alsa.dir.file("played.fifo"));
		Background running(alsa.command("-i " + alsa.dir.file("quiet.raw") + " --realtime -O timed_out " +
						rig.options() + " --tx-delay 300 --tx-tail 400 --send-fifo " + fifo +
						" 2> " + alsa.dir.file("err")));
		send_lines(fifo, "DL1ABC 16 keyed around\n");
		EXPECT_EQ(running.finish(), 0) << read_file(alsa.dir.file("err"));
		clock.finish();
		played = clock.bytes, first = clock.first, last = clock.last;
	}
	double keyed = rig.keyed(), released = rig.released();
	EXPECT_GE(first - keyed, 0.3) << "the lead-in";
	// The last bytes are seen a little after the station wrote them.
	EXPECT_GE(released - last, 0.4 - 0.02) << "the tail";
	EXPECT_EQ(rig.state(), "0");
	EXPECT_EQ(run_program(decode, silence(1) + played + silence(1)).out,
		  "EVENT:SYNC|CFO:1500|MODE:16|CALL:DL1ABC   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:keyed around\n");
}

// The RTS or DTR line of a serial port keys as the rig does: on before the
// lead-in, off after the tail, and nothing else moves.
TEST(StationPtt, SerialLineKeyedBeforeTheFirstSampleReleasedAfterTheTail)
{
	for (std::string line : {"RTS", "DTR"}) {
		Alsa alsa;
		int terminal = posix_openpt(O_RDWR | O_NOCTTY);
		ASSERT_GE(terminal, 0);
		ASSERT_EQ(grantpt(terminal), 0);
		ASSERT_EQ(unlockpt(terminal), 0);
		std::string port = ptsname(terminal), log = alsa.dir.file("lines.log");
		write_file(alsa.dir.file("quiet.raw"), silence(3));
		std::string fifo = alsa.dir.file("send"), option = line == "RTS" ? "rts" : "dtr";
		mkfifo(fifo.c_str(), 0600);
		double first, last;
		{
			FifoClock clock(alsa.dir.file("played.fifo"));
			Background running(alsa.faulty("SERIAL_LINES_LOG=" + log,
						       "--no-web -i " + alsa.dir.file("quiet.raw") +
							   " --realtime -O timed_out --ptt " + option + " --ptt-port " + port +
							   " --tx-delay 300 --tx-tail 400 --send-fifo " + fifo + " 2> " +
							   alsa.dir.file("err")));
			send_lines(fifo, "DL1ABC 16 keyed around\n");
			EXPECT_EQ(running.finish(), 0) << read_file(alsa.dir.file("err"));
			clock.finish();
			first = clock.first, last = clock.last;
		}
		close(terminal);
		std::istringstream entries(read_file(log));
		std::vector<std::pair<int, double>> changes;
		std::string name;
		int on;
		double when;
		while (entries >> name >> on >> when) {
			EXPECT_EQ(name, line);
			changes.emplace_back(on, when);
		}
		// It clears the line at the start, its state unknown, and again on
		// the way out.
		ASSERT_GE(changes.size(), 3u) << read_file(log);
		EXPECT_EQ(changes[0].first, 0);
		EXPECT_EQ(changes[1].first, 1);
		for (size_t i = 2; i < changes.size(); ++i) EXPECT_EQ(changes[i].first, 0) << read_file(log);
		EXPECT_GE(first - changes[1].second, 0.3) << line << ": the lead-in";
		// The last bytes are seen a little after the station wrote them.
		EXPECT_GE(changes[2].second - last, 0.4 - 0.02) << line << ": the tail";
	}
}

// A transmission cut short: by a signal, by the watchdog, by a playback
// device that fails. The key is released before the lead-in would have
// ended, and nothing of the burst is played.
TEST(StationPtt, ReleasedWhateverEndsTheTransmission)
{
	if (!rig_tools()) GTEST_SKIP() << "rigctld, rigctl or python3 missing";
	struct Case
	{
		const char *name, *options, *message;
		bool signal;
	};
	for (Case c : {Case{"SIGTERM", "--tx-delay 5000", "", true},
		       Case{"watchdog", "--tx-delay 5000 --tx-limit 0.5", "watchdog", false},
		       Case{"playback error", "-O broken_out --tx-delay 0", "playback: broken_out", false}}) {
		Rig rig;
		Alsa alsa;
		// Longer than any of the cases needs: the station is ended by a
		// signal once the key is released.
		write_file(alsa.dir.file("quiet.raw"), silence(20));
		std::string fifo = alsa.dir.file("send"), wav = alsa.dir.file("sent.wav");
		mkfifo(fifo.c_str(), 0600);
		std::string audio = std::string(c.options).find("-O") == 0 ? "" : " -a " + wav;
		Background running(alsa.command("-i " + alsa.dir.file("quiet.raw") + " --realtime " + rig.options() +
						" " + c.options + audio + " --send-fifo " + fifo + " 2> " +
						alsa.dir.file("err")));
		send_lines(fifo, "DL1ABC 14 " + std::string(170, 'x') + "\n");
		double keyed = rig.keyed();
		while (!c.signal && rig.released() < 0 && running.alive())
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		double signalled = now_seconds();
		if (running.alive()) running.signal(SIGTERM);
		EXPECT_EQ(running.finish(), 0) << c.name;
		std::string err = read_file(alsa.dir.file("err"));
		EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
		EXPECT_NE(err.find("sent 0,"), std::string::npos) << c.name << ": " << err;
		double released = rig.released();
		EXPECT_GT(released, keyed) << c.name;
		// By the signal, or before it by what ended the transmission.
		EXPECT_EQ(released > signalled, c.signal) << c.name;
		EXPECT_LT(released - keyed, 5) << c.name << ": released before the lead-in would have ended";
		EXPECT_EQ(rig.state(), "0") << c.name;
		if (!audio.empty()) {
			EXPECT_EQ(run_program(decode + " -i " + wav).out, "") << c.name;
		}
	}
}

// The rig stops answering while the station transmits: the release that
// fails is reported and tried again until the rig answers and takes it;
// the station keys nothing more meanwhile and keeps running.
TEST(StationPtt, RigThatStopsAnsweringIsReleasedOnceItIsBack)
{
	if (!rig_tools()) GTEST_SKIP() << "rigctld, rigctl or python3 missing";
	Rig rig;
	Alsa alsa;
	write_file(alsa.dir.file("quiet.raw"), silence(30));
	std::string fifo = alsa.dir.file("send"), err = alsa.dir.file("err");
	mkfifo(fifo.c_str(), 0600);
	Background running(alsa.command("-i " + alsa.dir.file("quiet.raw") + " --realtime " + rig.options() +
					" --tx-delay 1000 -a " + alsa.dir.file("sent.wav") + " --send-fifo " + fifo +
					" 2> " + err));
	send_lines(fifo, "DL1ABC 16 cut off\n");
	rig.keyed();
	rig.stop();
	ASSERT_TRUE(wait_for(err, "; trying again", running)) << read_file(err);
	std::this_thread::sleep_for(std::chrono::seconds(2));
	ASSERT_TRUE(running.alive()) << read_file(err);
	double back = now_seconds();
	rig.start();
	ASSERT_TRUE(wait_for(err, "answers again", running)) << read_file(err);
	running.signal(SIGTERM);
	EXPECT_EQ(running.finish(), 0) << read_file(err);
	// The station releases the key once at the start, its state unknown.
	std::vector<std::pair<std::string, double>> log = rig.log();
	EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto &entry) { return entry.first == "keyed"; }), 1);
	ASSERT_FALSE(log.empty());
	EXPECT_EQ(log.back().first, "released");
	EXPECT_GT(log.back().second, back);
	EXPECT_EQ(rig.state(), "0");
}

// A rig that is not there at the start is reported and tried again; the
// transmission waits for it and goes out once it answers.
TEST(StationPtt, RigThatDoesNotAnswerIsTriedAgain)
{
	if (!rig_tools()) GTEST_SKIP() << "rigctld, rigctl or python3 missing";
	TempDir dir;
	// The transmission waits for the rig, however short the input.
	write_file(dir.file("quiet.raw"), silence(1));
	std::string fifo = dir.file("send"), wav = dir.file("sent.wav");
	mkfifo(fifo.c_str(), 0600);
	int port = free_port();
	Background running("exec " + station + " --no-web -i " + dir.file("quiet.raw") + " --realtime -a " + wav +
			   " --rig 2 --rig-port 127.0.0.1:" + std::to_string(port) + " --send-fifo " + fifo + " 2> " +
			   dir.file("err"));
	send_lines(fifo, "DL1ABC 16 late\n");
	while (read_file(dir.file("err")).find("trying again") == std::string::npos)
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	Background rigctld("exec rigctld -m 1 -P RIG -t " + std::to_string(port));
	EXPECT_EQ(running.finish(), 0);
	std::string err = read_file(dir.file("err"));
	EXPECT_NE(err.find("sent 1,"), std::string::npos) << err;
	EXPECT_EQ(run_program(decode + " -i " + wav).out,
		  "EVENT:SYNC|CFO:1500|MODE:16|CALL:DL1ABC   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:late\n");
}


// The page's endpoints on the station itself: the event stream carries
// waterfall rows, status and the messages heard; what POST /send queues is
// played.
TEST(StationPage, StreamsWhatItHearsAndSendsWhatIsPosted)
{
	TempDir dir;
	write_file(dir.file("in.raw"), run_program(encode + " -s 2 -t 'heard here' -C K1ABC").out);
	int port = free_port();
	Background running("exec " + station + " -i " + dir.file("in.raw") + " --realtime --listen 127.0.0.1:" +
			   std::to_string(port) + " -a " + dir.file("sent.wav") + " > /dev/null 2> " + dir.file("err"));
	httplib::Client page("127.0.0.1", port);
	auto got = page.Get("/");
	while (!got && running.alive()) {
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		got = page.Get("/");
	}
	ASSERT_TRUE(got) << read_file(dir.file("err"));
	std::string events;
	page.Get("/events", [&events](const char *data, size_t size) {
		events.append(data, size);
		return events.find("\"kind\":\"MESSAGE\"") == std::string::npos;
	});
	EXPECT_NE(events.find("event: row\ndata: {\"t\":"), std::string::npos);
	EXPECT_NE(events.find("event: status\ndata: {\"rate\":"), std::string::npos);
	EXPECT_NE(events.find("\"payload\":\"heard here\""), std::string::npos) << events.substr(0, 300);
	std::smatch token;
	ASSERT_TRUE(std::regex_search(got->body, token, std::regex("name=\"send-token\" content=\"([^\"]+)\"")));
	httplib::Headers headers{{"X-Send-Token", token[1]}, {"Origin", "http://127.0.0.1:" + std::to_string(port)}};
	auto posted = page.Post("/send", headers, "{\"call\":\"DL1ABC\",\"mode\":16,\"payload\":\"posted\"}",
				"application/json");
	ASSERT_TRUE(posted);
	EXPECT_EQ(posted->status, 202);
	EXPECT_EQ(running.finish(), 0);
	EXPECT_EQ(run_program(decode + " -i " + dir.file("sent.wav")).out,
		  "EVENT:SYNC|CFO:1500|MODE:16|CALL:DL1ABC   \nEVENT:MESSAGE|FLIPS:0|PAYLOAD:posted\n");
}

}
