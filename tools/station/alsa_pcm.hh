#pragma once

#include <alsa/asoundlib.h>
#include <cerrno>
#include <string>
#include <unistd.h>
#include <vector>

// One ALSA PCM in 16-bit interleaved frames, opened by name ("default",
// "plughw:CARD=Device,DEV=0", any PCM of the configuration). The card may
// give another rate than asked; rate() says which.
class AlsaPcm
{
public:
	AlsaPcm() = default;
	AlsaPcm(const AlsaPcm &) = delete;
	AlsaPcm &operator=(const AlsaPcm &) = delete;
	~AlsaPcm() { close(); }

	// Empty when open, else why not.
	std::string open(const std::string &name, bool capture, int wanted_rate, int channel_count)
	{
		close();
		channels = channel_count;
		int err = snd_pcm_open(&pcm, name.c_str(), capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0);
		if (err < 0) {
			pcm = nullptr;
			return name + ": " + snd_strerror(err);
		}
		snd_pcm_hw_params_t *hw;
		snd_pcm_hw_params_alloca(&hw);
		unsigned rate = wanted_rate;
		// 20 ms periods: the receiver's block, and a short wait for the
		// capture thread; a buffer of 8 of them rides out a busy moment.
		snd_pcm_uframes_t period = wanted_rate / 50, buffer = 8 * period;
		const char *step = "hardware parameters";
		if ((err = snd_pcm_hw_params_any(pcm, hw)) >= 0 && (step = "interleaved access") &&
		    (err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) >= 0 &&
		    (step = "16-bit samples") && (err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16)) >= 0 &&
		    (step = "channel count") && (err = snd_pcm_hw_params_set_channels(pcm, hw, channels)) >= 0 &&
		    (step = "sample rate") && (err = snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr)) >= 0) {
			snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr);
			snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
			step = "setup";
			err = snd_pcm_hw_params(pcm, hw);
		}
		if (err < 0) {
			std::string why = name + ": " + step + ": " + snd_strerror(err);
			close();
			return why;
		}
		actual_rate = rate;
		snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
		period_frames = period;
		return "";
	}

	bool is_open() const { return pcm != nullptr; }
	int rate() const { return actual_rate; }
	size_t period() const { return period_frames; }

	void close()
	{
		if (pcm) snd_pcm_close(pcm);
		pcm = nullptr;
	}

	// Reads up to frames frames, waiting for at least one. Returns the
	// number read, or a negative ALSA error the caller cannot recover from
	// (a device that gives nothing for two seconds counts as failed). An
	// overrun is recovered and counted.
	long read(short *samples, size_t frames, unsigned long &overruns)
	{
		for (;;) {
			if (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING && snd_pcm_wait(pcm, 2000) == 0) return -EIO;
			snd_pcm_sframes_t got = snd_pcm_readi(pcm, samples, frames);
			if (got >= 0) return got;
			if (got == -EPIPE) ++overruns;
			if (got != -EPIPE && got != -ESTRPIPE && got != -EINTR) return got;
			if (int err = snd_pcm_recover(pcm, int(got), 1); err < 0) return err;
		}
	}

	// Writes all frames; an underrun is recovered and counted. Returns 0
	// or a negative ALSA error.
	long write(const short *samples, size_t frames, unsigned long &underruns)
	{
		while (frames) {
			if (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING && snd_pcm_wait(pcm, 2000) == 0) return -EIO;
			snd_pcm_sframes_t put = snd_pcm_writei(pcm, samples, frames);
			if (put == -EPIPE) ++underruns;
			if (put == -EPIPE || put == -ESTRPIPE || put == -EINTR) {
				if (int err = snd_pcm_recover(pcm, int(put), 1); err < 0) return err;
				continue;
			}
			if (put < 0) return put;
			samples += put * channels, frames -= put;
		}
		return 0;
	}

	// Returns once the card has played every frame written, or early when
	// abort is set; 0, or a negative ALSA error.
	template <typename Flag>
	long drain(const Flag &abort)
	{
		snd_pcm_nonblock(pcm, 1);
		int err = snd_pcm_drain(pcm);
		while (err == -EAGAIN && snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING && !abort.load()) {
			snd_pcm_wait(pcm, 10);
			if (snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING) usleep(5000);
		}
		snd_pcm_nonblock(pcm, 0);
		return err == -EAGAIN ? 0 : err;
	}

private:
	snd_pcm_t *pcm = nullptr;
	int channels = 1, actual_rate = 0;
	size_t period_frames = 0;
};

// The PCM names of the ALSA configuration and the cards, with their
// descriptions, as "name\tdescription" lines; each with the directions it
// works in.
inline std::vector<std::string> alsa_device_names()
{
	std::vector<std::string> lines;
	void **hints;
	if (snd_device_name_hint(-1, "pcm", &hints) < 0) return lines;
	for (void **hint = hints; *hint; ++hint) {
		char *name = snd_device_name_get_hint(*hint, "NAME");
		char *description = snd_device_name_get_hint(*hint, "DESC");
		char *direction = snd_device_name_get_hint(*hint, "IOID");
		if (name) {
			std::string text = description ? description : "";
			for (char &c : text)
				if (c == '\n') c = ' ';
			lines.push_back(std::string(name) + "\t" + (direction ? direction : "Input and Output") + "\t" + text);
		}
		free(name), free(description), free(direction);
	}
	snd_device_name_free_hint(hints);
	return lines;
}
