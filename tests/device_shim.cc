// Loaded into a program under test (LD_PRELOAD), it stands in for the
// hardware a test machine lacks: ALSA devices that behave as real cards
// do where the configuration's plugins cannot (a card unplugged while it
// runs, a card of one rate), and the modem lines of a serial port.
//
// ALSA_FAULTS: a directory; while it holds "capture_gone" or
// "playback_gone", that direction's devices fail as an unplugged USB card
// does (ENODEV), from opening to every read or write.
// ALSA_FAULTS_CAPTURE_FRAMES: the capture devices are unplugged (the file
// "capture_gone" made) once they have given this many frames in all.
// ALSA_FAULTS_RATE: the only rate a device gives, whatever is asked.
// SERIAL_LINES_LOG: a file; setting or clearing RTS or DTR on a terminal
// that has no such lines (a pseudo-terminal) succeeds and appends "RTS 1
// SECONDS" or "DTR 0 SECONDS" to it (CLOCK_MONOTONIC).

#include <alsa/asoundlib.h>
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::string marker(const char *direction) { return std::string(std::getenv("ALSA_FAULTS")) + "/" + direction + "_gone"; }

bool gone(const char *direction)
{
	return std::getenv("ALSA_FAULTS") && access(marker(direction).c_str(), F_OK) == 0;
}

// Frames the capture devices may give before they are unplugged.
snd_pcm_uframes_t capture_frames()
{
	const char *limit = std::getenv("ALSA_FAULTS_CAPTURE_FRAMES");
	return limit ? std::strtoull(limit, nullptr, 10) : ~snd_pcm_uframes_t(0);
}

const char *direction(snd_pcm_stream_t stream) { return stream == SND_PCM_STREAM_CAPTURE ? "capture" : "playback"; }

template <typename Function>
Function *next(const char *name)
{
	return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

}

extern "C" {

int snd_pcm_open(snd_pcm_t **pcm, const char *name, snd_pcm_stream_t stream, int mode)
{
	if (gone(direction(stream))) return -ENODEV;
	return next<decltype(snd_pcm_open)>("snd_pcm_open")(pcm, name, stream, mode);
}

snd_pcm_sframes_t snd_pcm_readi(snd_pcm_t *pcm, void *buffer, snd_pcm_uframes_t size)
{
	static snd_pcm_uframes_t left = capture_frames();
	if (gone("capture")) return -ENODEV;
	if (left == 0) {
		close(open(marker("capture").c_str(), O_WRONLY | O_CREAT, 0600));
		left = ~snd_pcm_uframes_t(0);
		return -ENODEV;
	}
	snd_pcm_sframes_t got = next<decltype(snd_pcm_readi)>("snd_pcm_readi")(pcm, buffer, std::min(size, left));
	if (got > 0) left -= got;
	return got;
}

snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t *pcm, const void *buffer, snd_pcm_uframes_t size)
{
	if (gone("playback")) return -ENODEV;
	return next<decltype(snd_pcm_writei)>("snd_pcm_writei")(pcm, buffer, size);
}

int snd_pcm_hw_params_set_rate_near(snd_pcm_t *pcm, snd_pcm_hw_params_t *params, unsigned int *rate, int *dir)
{
	if (const char *only = std::getenv("ALSA_FAULTS_RATE")) *rate = unsigned(std::atoi(only));
	return next<decltype(snd_pcm_hw_params_set_rate_near)>("snd_pcm_hw_params_set_rate_near")(pcm, params, rate,
												  dir);
}

int ioctl(int fd, unsigned long request, ...)
{
	va_list arguments;
	va_start(arguments, request);
	void *argument = va_arg(arguments, void *);
	va_end(arguments);
	int result = next<int(int, unsigned long, ...)>("ioctl")(fd, request, argument);
	const char *log = std::getenv("SERIAL_LINES_LOG");
	if (result < 0 && errno == ENOTTY && log && isatty(fd) && (request == TIOCMBIS || request == TIOCMBIC)) {
		int lines = *static_cast<const int *>(argument);
		timespec now;
		clock_gettime(CLOCK_MONOTONIC, &now);
		if (FILE *out = std::fopen(log, "a")) {
			for (auto [bit, name] : {std::pair{TIOCM_RTS, "RTS"}, std::pair{TIOCM_DTR, "DTR"}})
				if (lines & bit)
					std::fprintf(out, "%s %d %.6f\n", name, request == TIOCMBIS, now.tv_sec + now.tv_nsec * 1e-9);
			std::fclose(out);
		}
		return 0;
	}
	return result;
}
}
