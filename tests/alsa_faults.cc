// Loaded before ALSA into a program under test (LD_PRELOAD), it makes the
// test's devices behave as real cards do where the configuration's
// plugins cannot: a card that is unplugged while it runs, and a card that
// gives one rate only.
//
// ALSA_FAULTS: a directory; while it holds "capture_gone" or
// "playback_gone", that direction's devices fail as an unplugged USB card
// does (ENODEV), from opening to every read or write.
// ALSA_FAULTS_CAPTURE_FRAMES: the capture devices are unplugged (the file
// "capture_gone" made) once they have given this many frames in all.
// ALSA_FAULTS_RATE: the only rate a device gives, whatever is asked.

#include <alsa/asoundlib.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
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
}
