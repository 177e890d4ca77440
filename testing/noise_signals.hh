#pragma once

#include <numbers>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dsp/complex.hh"
#include "modem/call_sign.hh"
#include "modem/encoder.hh"
#include "tools/sim/random.hh"

// Endless test signals without a single valid burst of the receiver that
// listens to them, as signed 16-bit samples at a given sample rate. Every
// signal is a function of its name, rate and seed alone.
//
//   white-60 white-30 white-10  Gaussian white noise at -60, -30, -10 dBFS RMS
//   pink-20                     1/f noise at -20 dBFS RMS
//   sweep                       sine at -6 dBFS RMS gliding linearly between
//                               50 Hz and rate/2 - 50 Hz, ten minutes each way
//   tone                        1500 Hz sine at -6 dBFS RMS
//   tones                       five sines of -20 dBFS peak each, 440 to 3100 Hz
//   clipped                     white noise at 0 dBFS RMS cut at full scale
//   speech                      about -23 dBFS RMS of voiced and unvoiced excitation through two
//                               gliding formants, syllable envelope and pauses
//   dc                          constant half-scale offset
//   bursts-RATE-M               payload bursts of the encoder variant RATE, M
//                               (random modes, payloads, centres and gaps),
//                               samples taken as they are at the listening rate
//   preambles-RATE-M            synchronisation symbols of the encoder variant
//                               RATE, M followed by random metadata-like words
inline const std::vector<std::string> &noise_signal_names()
{
	static const std::vector<std::string> names = {"white-60", "white-30", "white-10", "pink-20", "sweep",
	                                               "tone",     "tones",    "clipped",  "speech",  "dc"};
	return names;
}

// Bursts of one encoder variant with 0.2 to 2 s of silence (in encoder
// samples) before each, at -18 dBFS RMS: payload bursts of random modes,
// payloads, call signs and centres, prepared once and replayed in random
// order; or false preambles, made anew every time: a payload burst whose
// metadata symbol is cut out, so that its first data symbol stands where the
// metadata belongs, a random word of metadata-like carriers after a true
// synchronisation symbol.
class BurstSource
{
public:
	static constexpr int pool_size = 12;

	template <int RATE, int M>
	static std::unique_ptr<BurstSource> make(Random &random, bool preambles)
	{
		auto source = std::make_unique<BurstSource>();
		auto encoder = std::make_shared<Encoder<RATE, M>>();
		source->rate = RATE;
		source->encode = [encoder, preambles](Random &random, std::vector<int16_t> &samples) {
			constexpr int extended = Encoder<RATE, M>::extended_length;
			std::vector<DSP::Complex<float>> burst(Encoder<RATE, M>::max_burst_length);
			// A complex signal of unit power has a real part of half that power.
			float scale = 32768 * std::sqrt(2.f) * std::pow(10.f, -18 / 20.f);
			int mode = 14 + random.next() % 3;
			uint8_t payload[170];
			for (uint8_t &byte : payload) byte = random.next();
			uint64_t call = 1 + random.next() % (call_sign_limit - 1);
			double freq = 1000 + random.uniform() * (RATE / 2 - 2000);
			int length = (*encoder)(burst.data(), payload, mode, call, freq);
			if (preambles) {
				std::copy(burst.begin() + 2 * extended, burst.begin() + length, burst.begin() + extended);
				length -= extended;
			}
			samples.resize(length);
			for (int n = 0; n < length; ++n) samples[n] = int16_t(std::lround(burst[n].re * scale));
		};
		if (!preambles) {
			source->pool.resize(pool_size);
			for (auto &samples : source->pool) source->encode(random, samples);
		}
		return source;
	}

	int16_t next(Random &random)
	{
		if (position == length) {
			if (pool.empty()) encode(random, fresh);
			const std::vector<int16_t> &burst = pool.empty() ? fresh : pool[random.next() % pool_size];
			current = &burst;
			gap = std::lround((0.2 + 1.8 * random.uniform()) * rate);
			length = gap + burst.size();
			position = 0;
		}
		long n = position++;
		return n < gap ? 0 : (*current)[n - gap];
	}

private:
	std::function<void(Random &, std::vector<int16_t> &)> encode;
	std::vector<std::vector<int16_t>> pool;
	std::vector<int16_t> fresh;
	const std::vector<int16_t> *current = nullptr;
	int rate = 0;
	long position = 0, length = 0, gap = 0;
};

// Gaussian values by Marsaglia's polar method: one logarithm and one square
// root per pair, no trigonometry.
class Gaussian
{
public:
	explicit Gaussian(Random &random) : random(random) {}

	double operator()()
	{
		if (has_spare) {
			has_spare = false;
			return spare;
		}
		double u, v, s;
		do {
			u = 2 * random.uniform() - 1;
			v = 2 * random.uniform() - 1;
			s = u * u + v * v;
		} while (s >= 1 || s == 0);
		double f = std::sqrt(-2 * std::log(s) / s);
		spare = v * f;
		has_spare = true;
		return u * f;
	}

private:
	Random &random;
	double spare = 0;
	bool has_spare = false;
};

// A sine by complex rotation: one complex multiplication per sample, the
// magnitude pulled back to 1 whenever the step changes and every 1024 samples.
class Oscillator
{
public:
	void tune(double freq, int rate)
	{
		double w = 2 * std::numbers::pi * freq / rate;
		step_re = std::cos(w), step_im = std::sin(w);
		normalize();
	}

	double operator()()
	{
		last_im = z_im;
		double re = z_re * step_re - z_im * step_im;
		z_im = z_re * step_im + z_im * step_re;
		z_re = re;
		if (++count == 1024) normalize();
		return z_im;
	}

	// True when the last step wrapped the phase past zero (the sine turned positive).
	bool wrapped() const { return last_im < 0 && z_im >= 0; }

private:
	void normalize()
	{
		double m = std::sqrt(z_re * z_re + z_im * z_im);
		z_re /= m, z_im /= m;
		count = 0;
	}

	double z_re = 1, z_im = 0, last_im = 0, step_re = 1, step_im = 0;
	int count = 0;
};

class NoiseSignal
{
public:
	// False from valid() for an unknown name.
	NoiseSignal(const std::string &name, int rate, uint64_t seed)
	    : rate(rate), random(seed), gaussian(random)
	{
		auto level = [](double dbfs) { return 32768 * std::pow(10.0, dbfs / 20); };
		if (name.rfind("white-", 0) == 0 && name.size() > 6) {
			kind = WHITE;
			gain = level(-std::stod(name.substr(6)));
		} else if (name == "pink-20") {
			kind = PINK;
			gain = level(-20);
		} else if (name == "sweep") {
			kind = SWEEP;
			gain = level(-6) * std::sqrt(2.0);
		} else if (name == "tone") {
			kind = TONES;
			tone_count = 1;
			gain = level(-6) * std::sqrt(2.0);
		} else if (name == "tones") {
			kind = TONES;
			tone_count = 5;
			gain = level(-20);
		} else if (name == "clipped") {
			kind = WHITE;
			gain = level(0);
		} else if (name == "speech") {
			kind = SPEECH;
			gain = level(-20);
		} else if (name == "dc") {
			kind = DC;
		} else if (name.rfind("bursts-", 0) == 0 || name.rfind("preambles-", 0) == 0) {
			bool preambles = name[0] == 'p';
			std::string variant = name.substr(preambles ? 10 : 7);
			if (variant == "8000-2") pool = BurstSource::make<8000, 2>(random, preambles);
			if (variant == "8000-4") pool = BurstSource::make<8000, 4>(random, preambles);
			if (variant == "8000-8") pool = BurstSource::make<8000, 8>(random, preambles);
			if (variant == "48000-2") pool = BurstSource::make<48000, 2>(random, preambles);
			if (variant == "48000-4") pool = BurstSource::make<48000, 4>(random, preambles);
			if (variant == "48000-8") pool = BurstSource::make<48000, 8>(random, preambles);
		}
		if (pool) kind = BURSTS;
		static constexpr double freqs[5] = {1500, 440, 1000, 2222, 3100.3};
		for (int t = 0; t < 5; ++t) oscillators[t].tune(freqs[t], rate);
		for (double &row : pink_rows) row = random.uniform() - 0.5;
		for (double row : pink_rows) pink_sum += row;
	}

	bool valid() const { return kind != UNKNOWN; }

	// count samples, rounded and cut at full scale.
	void generate(int16_t *out, int count)
	{
		for (int i = 0; i < count; ++i) {
			if (kind == BURSTS) {
				out[i] = pool->next(random);
				continue;
			}
			double x = std::nearbyint(sample());
			out[i] = int16_t(std::clamp(x, -32768.0, 32767.0));
		}
	}

private:
	enum Kind { UNKNOWN, WHITE, PINK, SWEEP, TONES, SPEECH, DC, BURSTS };
	static constexpr int pink_octaves = 16;

	double sample()
	{
		++time;
		switch (kind) {
		case WHITE:
			return gain * gaussian();
		case PINK:
			return gain * pink();
		case SWEEP:
			return gain * sweep();
		case TONES: {
			double sum = 0;
			for (int t = 0; t < tone_count; ++t) sum += oscillators[t]();
			return gain * sum;
		}
		case SPEECH:
			return gain * speech();
		case DC:
			return 16384;
		default:
			return 0;
		}
	}

	// Voss-McCartney: row r is redrawn every 2^r samples; the sum of 16 rows
	// of variance 1/12 has unit variance after the scaling.
	double pink()
	{
		int row = std::min(pink_octaves - 1, std::countr_zero(uint64_t(time)));
		double value = random.uniform() - 0.5;
		pink_sum += value - pink_rows[row];
		pink_rows[row] = value;
		return pink_sum * std::sqrt(12.0 / pink_octaves);
	}

	// Frequency updated every 64 samples, phase continuous.
	double sweep()
	{
		if (time % 64 == 1) {
			double span = 600.0 * rate, t = std::fmod(double(time), 2 * span) / span;
			double low = 50, high = rate / 2.0 - 50;
			oscillators[0].tune(low + (high - low) * (t < 1 ? t : 2 - t), rate);
		}
		return oscillators[0]();
	}

	// Two-pole resonator with a bandwidth of 100 Hz and unit gain at its peak.
	struct Resonator
	{
		double gain = 0, c = 0, r2 = 0, y1 = 0, y2 = 0;

		void tune(double freq, int rate)
		{
			double r = std::exp(-std::numbers::pi * 100 / rate);
			gain = 1 - r, c = 2 * r * std::cos(2 * std::numbers::pi * freq / rate), r2 = r * r;
		}
		double operator()(double x)
		{
			double y = gain * x + c * y1 - r2 * y2;
			y2 = y1, y1 = y;
			return y;
		}
	};

	// Syllables of 250 ms, each voiced (a pulse train at 90 to 220 Hz) or
	// unvoiced (noise) through formants drawn per syllable, one syllable in
	// four silent.
	double speech()
	{
		long syllable_length = rate / 4, position = time % syllable_length;
		if (position == 0) {
			voiced = random.uniform() < 0.6;
			silent = random.uniform() < 0.25;
			oscillators[1].tune(90 + 130 * random.uniform(), rate);
			formants[0].tune(300 + 600 * random.uniform(), rate);
			formants[1].tune(900 + 1600 * random.uniform(), rate);
			loudness = 0.3 + 0.7 * random.uniform();
		}
		double excitation;
		if (voiced) {
			oscillators[1]();
			excitation = oscillators[1].wrapped() ? 40.0 : 0.0;
		} else {
			excitation = gaussian();
		}
		double y = formants[0](excitation) + formants[1](excitation);
		double envelope = silent ? 0 : loudness * std::sin(std::numbers::pi * position / syllable_length);
		return 1.5 * envelope * y;
	}

	Kind kind = UNKNOWN;
	int rate;
	Random random;
	Gaussian gaussian;
	double gain = 0;
	long time = 0;
	Oscillator oscillators[5];
	int tone_count = 0;
	double pink_rows[pink_octaves], pink_sum = 0;
	bool voiced = false, silent = true;
	Resonator formants[2];
	double loudness = 0;
	std::unique_ptr<BurstSource> pool;
};
