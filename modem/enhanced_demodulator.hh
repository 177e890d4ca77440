#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "dsp/complex.hh"
#include "modem/air_interface.hh"
#include "modem/constellation.hh"
#include "modem/path_fit.hh"
#include "modem/soft_bits.hh"
#include "modem/time_smoother.hh"

// Data symbols of mapping M, demodulated against a channel estimate instead
// of the raw previous symbol, whose noise the reference demodulator doubles.
//
// A carrier's transmitted value is its metadata value (+-1) times the points
// of all data symbols so far: after each symbol one of M states
// base·point[j], base turning by point[0] per symbol. Once the metadata word
// is decoded, the metadata symbol gives the channel and the noise level.
// Each data symbol then yields the likelihoods of its M states under the
// channel estimate, and the point sent between two symbols gets the
// probability sum_i q_prev(i)·q(compose(i, m)): soft posteriors of both
// symbols, never hard decisions, which would keep little of the gain.
// Afterwards the estimate is renewed from the symbol's expected value,
// averaged across neighbouring carriers once the common phase slope is
// taken out. The common phase and slope that frequency and clock offsets add
// per symbol are followed from the M-th power of each symbol, which strips
// the data.
//
// Soft bits are log-likelihood ratios, scaled per burst to the mean
// magnitude the 8-bit polar decoder works best with.
template <int M>
class EnhancedDemodulator
{
	typedef DSP::Complex<float> cmplx;
	typedef Constellation<M> map;

public:
	static constexpr int carrier_count = Air::carrier_count, bits = map::bits;
	static constexpr int code_length = Air::code_length;
	// Carriers on each side averaged into a channel estimate at most: 65
	// carriers span 406 Hz, where a flat channel keeps little of the noise.
	static constexpr int widest = 32;
	// The polar decoder's 8-bit input loses badly with mean magnitudes of 8
	// and more; 4 to 6 work. The 16-bit one has room for the weak values'
	// fine steps and the strong ones' size alike: on faded bursts means of
	// 24, 64 and 256 fare alike.
	static constexpr float soft_mean = 5, wide_soft_mean = 64;

	EnhancedDemodulator()
	{
		for (int m = 0; m < M; ++m) {
			signed char b[bits];
			for (int i = 0; i < bits; ++i) b[i] = (m >> i) & 1 ? -1 : 1;
			point[m] = map::point(b);
		}
		for (int i = 0; i < M; ++i)
			for (int m = 0; m < M; ++m) {
				cmplx target = point[i] * point[m] * conj(point[0]);
				int best = 0;
				for (int j = 1; j < M; ++j)
					if (norm(point[j] - target) < norm(point[best] - target)) best = j;
				compose[i][m] = best;
			}
		data_power = 1;
		for (int i = 0; i < M; ++i) data_power *= point[0];
	}

	// bins: the metadata symbol's carriers -128 ... 127; known: their
	// transmitted values, +1 or -1. The carriers of every symbol are kept
	// as heard, for shift().
	void start(const cmplx *bins, const float *known)
	{
		for (int k = 0; k < carrier_count; ++k) meta_heard[k] = bins[k], meta_known[k] = known[k];
		begin(bins, known);
	}

	// Symbol s of the burst (0, 1, ...): bins are its carriers -128 ... 127.
	void symbol(int s, const cmplx *bins)
	{
		for (int k = 0; k < carrier_count; ++k) received[s][k] = heard[s][k] = bins[k];
	}

	// The frequency offset, in carrier spacings, that the symbols as heard
	// turn by from one to the next, beyond what the data turns them: read
	// from their M-th powers, neighbour against neighbour, over the whole
	// burst, where the fading's own turning averages out more than during
	// the preamble alone. Mapping M reads offsets up to 1/(2.25 M) spacings.
	float offset_left() const
	{
		cmplx before[carrier_count], turns[carrier_count], step = point[0];
		for (int k = 0; k < carrier_count; ++k) {
			before[k] = tone[k] ? cmplx() : strip(meta_heard[k] * conj(start_base[k] * step));
			turns[k] = cmplx();
		}
		for (int s = 0; s < symbols; ++s) {
			step *= point[0];
			for (int k = 0; k < carrier_count; ++k) {
				if (tone[k]) continue;
				cmplx now = strip(heard[s][k] * conj(start_base[k] * step));
				turns[k] += now * conj(before[k]);
				before[k] = now;
			}
		}
		// A clock offset turns each carrier its own way: the slope across
		// the band is searched on a fine grid, since carriers of unequal
		// level pull the phase of a peak missed by a little.
		const float grid = 0.0004f;
		const int steps = int(slope_limit / grid) + 1;
		cmplx best;
		for (int i = -steps; i <= steps; ++i) {
			float angle = M * float(i) * grid;
			cmplx sum = tilted(turns, angle);
			if (norm(sum) > norm(best)) best = sum;
		}
		return arg(best) / M / (2 * std::numbers::pi_v<float> * symbol_spacing);
	}

	// Demodulates again with every symbol as heard mixed down by offset
	// carrier spacings, the channel learnt anew from the metadata symbol:
	// as though the receiver's mixer had been set that much lower, which
	// takes back what the offset spread into the neighbouring carriers, not
	// only the turn from symbol to symbol. window: the transform's length
	// in samples.
	void shift(float offset, int window)
	{
		// A window of N samples, shifted by x spacings, gives each carrier
		// e^{iπx(N-1)/N}·sin(πx)/(N·sin(πx/N)) of one x away: carriers
		// further than span apart hold less than 4 % of what an offset
		// spreads.
		constexpr int span = 16;
		constexpr float pi = std::numbers::pi_v<float>;
		const float N = float(window);
		cmplx kernel[2 * span + 1];
		for (int d = -span; d <= span; ++d) {
			float x = float(d) - offset;
			kernel[d + span] = std::abs(x) < 1e-6f ? cmplx(1, 0)
							       : rotation(pi * x * (N - 1) / N) * (std::sin(pi * x) / (N * std::sin(pi * x / N)));
		}
		// Symbol s starts (s + 1)·symbol_spacing windows after the metadata
		// symbol, where the mixer has turned further.
		auto mix = [&](cmplx *out, const cmplx *in, int s) {
			cmplx turn = rotation(-2 * pi * offset * symbol_spacing * float(s + 1));
			for (int k = 0; k < carrier_count; ++k) {
				cmplx sum;
				for (int m = std::max(0, k - span); m <= std::min(carrier_count - 1, k + span); ++m)
					sum += in[m] * kernel[m - k + span];
				out[k] = sum * turn;
			}
		};
		cmplx bins[carrier_count];
		mix(bins, meta_heard, -1);
		for (int s = 0; s < symbols; ++s) mix(received[s], heard[s], s);
		begin(bins, meta_known);
		finish(symbols);
	}

	// Demodulates the first count symbols, writing their soft values to
	// ratios()[(s·256 + k)·bits + b], as far as the code word reaches. The
	// phase slope a clock offset adds per symbol and the common phase a
	// frequency offset adds are found over all of them at once: one
	// symbol's M-th power is too noisy for them with eight points.
	void finish(int count)
	{
		symbols = count;
		joint_drift(count);
		found_slope = slope, found_phase = phase;
		float drifting = demodulate(count);
		// Near the sensitivity limit the M-th powers are weak enough for
		// noise to make a peak of its own: the symbols' likelihood decides
		// between the drift found and none.
		slope = phase = 0;
		if (demodulate(count) >= drifting) return;
		slope = found_slope, phase = found_phase;
		demodulate(count);
	}

	// Demodulates again under the other of the two drifts finish() chose
	// between: the likelihood of the symbols prefers a drift fitted to noise
	// about as often as none, and only the payload's CRC can tell.
	void other_drift()
	{
		if (slope == 0 && phase == 0)
			slope = found_slope, phase = found_phase;
		else
			slope = phase = 0;
		demodulate(symbols);
	}

	static constexpr int symbol_count = Air::data_symbols(M);

	// Demodulates again with the channel of each symbol extrapolated from
	// the last two estimates, by lead times their difference: a fading of
	// a hertz turns a carrier by tens of degrees from symbol to symbol,
	// which an estimate that only averages lags behind by half.
	void extrapolating(float lead_)
	{
		lead = lead_;
		demodulate(symbols);
		lead = 0;
	}

	// Demodulates again with every symbol known from word, a code word the
	// decoder found (2048 values, positive for a 0 bit), which need not be
	// right everywhere: the channel is measured on every carrier of every
	// symbol, smoothed across carriers and in time both ways, and the soft
	// values come from it. Wrong bits of the word spoil single estimates,
	// which the smoothing averages away. With untwist, the estimates of
	// each carrier may be turned back where a fade made the word slip.
	void decided(const signed char *word, bool untwist)
	{
		chain(sent, word);
		for (int s = 0; s <= symbols; ++s)
			for (int k = 0; k < carrier_count; ++k) counted[s][k] = !tone[k];
		coherent(measure(untwist));
	}

	// A round from word, the list decoder's most likely code word, that
	// measures the channel only on the symbols where check, the decisions
	// the word was decoded from, agrees with it: where the two differ, a
	// fade has made both doubtful, and the neighbours' channel serves
	// better. Without the doubtful symbols the slip search turns about as
	// many stretches wrongly as it mends: under the poor profile (mapping
	// 4, 12 dB) four rounds with it save one burst of 200, without it 22.
	void checked(const signed char *word, const signed char *check)
	{
		chain(sent, word);
		chain(doubted, check);
		for (int s = 0; s <= symbols; ++s)
			for (int k = 0; k < carrier_count; ++k) counted[s][k] = !tone[k] && norm(sent[s][k] - doubted[s][k]) < 1e-3f;
		coherent(measure(false));
	}

	// Demodulates again with each symbol's channel measured from that
	// symbol alone: its M-th power strips the data and is averaged across
	// carriers, and the slip search in time picks each carrier's roots.
	// Under a fading of a hertz the demodulation that carries its estimate
	// forward lags and misreads whole stretches of the band; this does not
	// lag. Eight points have no slip search, and their eighth power is too
	// noisy for it.
	void blind()
	{
		for (int k = 0; k < carrier_count; ++k) {
			base[k] = start_base[k];
			observed[k] = tone[k] ? cmplx() : meta_bins[k] * conj(base[k] * point[0]);
			weight[k] = !tone[k];
		}
		smooth(estimate[0], observed, weight);
		for (int s = 1; s <= symbols; ++s) {
			for (int k = 0; k < carrier_count; ++k) {
				base[k] *= point[0];
				observed[k] = tone[k] ? cmplx() : strip(received[s - 1][k] * conj(base[k]));
			}
			smooth(fresh, observed, weight);
			for (int k = 0; k < carrier_count; ++k)
				estimate[s][k] = rotation(arg(fresh[k]) / M) * std::sqrt(norm(fresh[k]));
		}
		smoother(estimate, estimate, symbols + 1, tone, M <= 4 ? M : 1, noise / float(2 * reach + 1), phase, slope);
		coherent(noise);
	}

	// Demodulates again with the channel as a few paths of their own delay
	// (see PathFit), found on the metadata symbol. Each data symbol's path
	// gains are fitted to its own carriers, against the values that their
	// likelihoods under the gains expect, path_rounds times over, starting
	// from the last symbol's gains carried forward by lead times their last
	// step. From here on the rounds measure the channel as paths too. Under
	// a fading of a hertz a symbol's channel runs tens of degrees ahead of
	// the last one's; three gains fitted to 256 carriers are pulled in by
	// the symbol's own values even where a third of them are wrong, where an
	// average over a window of carriers follows the wrong ones.
	void tracked(float lead)
	{
		for (int k = 0; k < carrier_count; ++k) {
			observed[k] = tone[k] ? cmplx() : meta_bins[k] * meta_known[k];
			weight[k] = !tone[k];
		}
		cmplx gains[Paths::paths], before[Paths::paths];
		paths.find(gains, observed, weight);
		std::copy(gains, gains + Paths::paths, before);
		for (int k = 0; k < carrier_count; ++k) base[k] = start_base[k];
		const float scale = 2 / noise;
		for (int s = 1; s <= symbols; ++s) {
			for (int k = 0; k < carrier_count; ++k) base[k] *= point[0];
			for (int round = 0; round < path_rounds; ++round) {
				paths.channel(estimate[s], gains);
				for (int k = 0; k < carrier_count; ++k) {
					cmplx mean = tone[k] ? cmplx() : base[k] * expected_point(received[s - 1][k] * conj(estimate[s][k] * base[k]) * scale);
					observed[k] = received[s - 1][k] * conj(mean);
					weight[k] = norm(mean);
				}
				paths.fit(gains, observed, weight);
			}
			paths.channel(estimate[s], gains);
			for (int i = 0; i < Paths::paths; ++i) {
				cmplx step = gains[i] - before[i];
				before[i] = gains[i];
				gains[i] += step * lead;
			}
		}
		coherent(noise);
	}

	// The soft values again, from the same likelihoods of the states, with
	// prior (2048 log-likelihood ratios, positive for a 0 bit) what the
	// decoder says of each bit: forward and backward along each carrier's
	// symbols, so that bits the code makes sure of pin down the states
	// next to them, which a point sent between two doubtful states is not.
	// The values written leave each bit's own prior out. Without a prior
	// (nullptr) they are the demodulation's own: each point from the
	// likelihoods of the two symbols it lies between, which is how every
	// demodulation writes them.
	void prior_ratios(const float *prior)
	{
		for (int k = 0; k < carrier_count; ++k) {
			float chance[symbol_count][bits][2];
			for (int s = 0; s < symbols; ++s)
				for (int b = 0; b < bits; ++b) {
					float p = prior ? prior[((s * carrier_count + k) * bits + b) % code_length] : 0;
					float zero = prior ? 1 / (1 + std::exp(std::clamp(-p, -80.f, 80.f))) : 0.5f;
					chance[s][b][0] = zero, chance[s][b][1] = 1 - zero;
				}
			auto sent = [&](int s, int m, int except) {
				float product = 1;
				for (int b = 0; b < bits; ++b)
					if (b != except) product *= chance[s][b][(m >> b) & 1];
				return product;
			};
			float forward[symbol_count + 1][M], backward[symbol_count + 1][M];
			for (int j = 0; j < M; ++j) forward[0][j] = j == 0, backward[symbols][j] = 1;
			for (int s = 0; s < symbols; ++s) {
				float sum = 0;
				for (int j = 0; j < M; ++j) forward[s + 1][j] = 0;
				for (int i = 0; i < M; ++i)
					for (int m = 0; m < M; ++m) forward[s + 1][compose[i][m]] += forward[s][i] * sent(s, m, -1);
				for (int j = 0; j < M; ++j) sum += forward[s + 1][j] *= state_likelihood[s][k][j];
				for (int j = 0; j < M; ++j) forward[s + 1][j] /= sum + FLT_MIN;
			}
			for (int s = symbols - 1; s >= 0; --s) {
				float sum = 0;
				for (int i = 0; i < M; ++i) {
					backward[s][i] = 0;
					for (int m = 0; m < M; ++m) {
						int j = compose[i][m];
						backward[s][i] += sent(s, m, -1) * state_likelihood[s][k][j] * backward[s + 1][j];
					}
					sum += backward[s][i];
				}
				for (int i = 0; i < M; ++i) backward[s][i] /= sum + FLT_MIN;
			}
			cmplx value = start_base[k];
			for (int s = 0; s < symbols; ++s) {
				value *= point[0];
				cmplx mean;
				float total = FLT_MIN;
				for (int j = 0; j < M; ++j) {
					float p = forward[s + 1][j] * backward[s + 1][j];
					mean += point[j] * p;
					total += p;
				}
				expected[s + 1][k] = value * mean / total;
				float through[M];
				for (int m = 0; m < M; ++m) {
					through[m] = 0;
					for (int i = 0; i < M; ++i) {
						int j = compose[i][m];
						through[m] += forward[s][i] * state_likelihood[s][k][j] * backward[s + 1][j];
					}
				}
				for (int b = 0; b < bits; ++b) {
					int index = (s * carrier_count + k) * bits + b;
					if (index >= code_length) break;
					float zero = FLT_MIN, one = FLT_MIN;
					for (int m = 0; m < M; ++m) ((m >> b) & 1 ? one : zero) += through[m] * sent(s, m, b);
					llr[index] = tone[k] ? 0 : std::log(zero) - std::log(one);
				}
			}
		}
	}

	// The channel measured again from the transmitted values as the last
	// prior_ratios() expects them, every symbol weighed by how sure it is
	// of them, then prior_ratios(prior) under that channel.
	void follow(const float *prior)
	{
		for (int k = 0; k < carrier_count; ++k) sent[0][k] = start_base[k] * point[0];
		for (int s = 0; s <= symbols; ++s)
			for (int k = 0; k < carrier_count; ++k) {
				if (s) sent[s][k] = expected[s][k];
				counted[s][k] = !tone[k];
			}
		// What the values leave unsure counts as noise.
		coherent(measure(false));
		prior_ratios(prior);
	}

	// Demodulates again against a channel known from elsewhere: h[s] on the
	// carriers of symbol s, the metadata symbol's first. With the true
	// channel and noise power this is what no estimate can better.
	void known_channel(const cmplx (*h)[carrier_count], float noise_power)
	{
		for (int s = 0; s <= symbols; ++s)
			for (int k = 0; k < carrier_count; ++k) estimate[s][k] = h[s][k];
		coherent(noise_power);
	}

	// The hard decisions of the soft values: a code word for decided().
	void decisions(signed char *word) const
	{
		for (int i = 0; i < code_length; ++i) word[i] = llr[i] < 0 ? -1 : 1;
	}

private:
	// The channel, its noise and the tones, learnt from the metadata
	// symbol's bins and their known values.
	void begin(const cmplx *bins, const float *known)
	{
		find_tones(bins);
		for (int k = 0; k < carrier_count; ++k) {
			meta_bins[k] = bins[k];
			observed[k] = tone[k] ? cmplx() : bins[k] * known[k];
			weight[k] = !tone[k];
			base[k] = conj(point[0]) * known[k];
			for (int j = 0; j < M; ++j) state[k][j] = j == 0;
		}
		reach = fitting_reach(observed);
		paths.forget();
		smooth(channel, observed, weight);
		float error = 0, power = 0;
		int clear = 0;
		for (int k = 0; k < carrier_count; ++k) {
			if (tone[k]) continue;
			error += norm(observed[k] - channel[k]);
			power += norm(channel[k]);
			++clear;
		}
		// The average of a window takes 1/(2 reach + 1) of the noise with it.
		noise = error / clear * (2 * reach + 1) / (2 * reach);
		// Noise-free input still leaves the likelihoods finite.
		noise = std::max({noise, power / clear * 1e-6f, FLT_MIN});
		for (int k = 0; k < carrier_count; ++k) start_channel[k] = channel[k], start_base[k] = base[k];
	}

	// A word's transmitted values of every symbol, the metadata symbol's
	// first.
	void chain(cmplx (*out)[carrier_count], const signed char *word) const
	{
		for (int k = 0; k < carrier_count; ++k) out[0][k] = start_base[k] * point[0];
		for (int s = 0; s < symbols; ++s)
			for (int k = 0; k < carrier_count; ++k) {
				signed char b[bits];
				for (int i = 0; i < bits; ++i) b[i] = word[((s * carrier_count + k) * bits + i) % code_length];
				out[s + 1][k] = out[s][k] * map::point(b);
			}
	}

	// The channel estimate of every symbol from the counted ones taken as
	// sent, each weighed by its power (less than 1 for an expected value);
	// returns the noise power they leave.
	float measure(bool untwist)
	{
		for (int s = 0; s <= symbols; ++s) {
			const cmplx *bins = s ? received[s - 1] : meta_bins;
			for (int k = 0; k < carrier_count; ++k) {
				observed[k] = counted[s][k] ? bins[k] * conj(sent[s][k]) : cmplx();
				weight[k] = counted[s][k] ? norm(sent[s][k]) : 0;
			}
			if (paths.found()) {
				cmplx gains[Paths::paths];
				paths.fit(gains, observed, weight);
				paths.channel(estimate[s], gains);
			} else {
				smooth(estimate[s], observed, weight);
			}
		}
		// Eight points would make 8^4 turns per carrier to weigh: half a
		// second per burst that fails, for slips that come at every fade.
		smoother(estimate, estimate, symbols + 1, tone, untwist && M <= 4 ? M : 1, noise / float(2 * reach + 1), phase, slope);
		for (int s = 1; s <= symbols; ++s)
			for (int k = 0; k < carrier_count; ++k)
				sent[s][k] *= rotation(-2 * std::numbers::pi_v<float> * smoother.turns[s][k] / M);
		float error = 0;
		int count = 0;
		for (int s = 0; s <= symbols; ++s) {
			const cmplx *bins = s ? received[s - 1] : meta_bins;
			for (int k = 0; k < carrier_count; ++k)
				if (counted[s][k]) error += norm(bins[k] - estimate[s][k] * sent[s][k]), ++count;
		}
		return std::max(count ? error / count : 0, FLT_MIN);
	}

	// Soft values of every data symbol from the channel estimate[s + 1] at
	// symbol s and the noise power, estimate error included.
	void coherent(float noise_power)
	{
		for (int k = 0; k < carrier_count; ++k) base[k] = start_base[k];
		float scale = 2 / noise_power;
		for (int s = 0; s < symbols; ++s)
			for (int k = 0; k < carrier_count; ++k) {
				base[k] *= point[0];
				if (tone[k]) {
					for (int j = 0; j < M; ++j) state_likelihood[s][k][j] = 1;
					continue;
				}
				cmplx c = received[s][k] * conj(estimate[s + 1][k] * base[k]) * scale;
				likelihoods(state_likelihood[s][k], c);
			}
		prior_ratios(nullptr);
	}

	// Symbols follow each other by this many windows of the transform: the
	// guard is an eighth of the window at both rates.
	static constexpr float symbol_spacing = float(Air::extended_length(8000)) / Air::symbol_length(8000);
	static_assert(Air::extended_length(8000) * Air::symbol_length(48000) ==
		      Air::extended_length(48000) * Air::symbol_length(8000));
	// Radians per carrier and symbol: a clock offset of 2000 ppm.
	static constexpr float slope_limit = 0.016f;
	static constexpr int max_steps = int(slope_limit * M * symbol_count / 0.012f) + 1;
	static constexpr int phase_steps = 32;
	// Fits per symbol in tracked(): under the poor profile (mapping 4, 6
	// and 9 dB, the whole retry) 4 rounds receive one burst of 200 fewer
	// than 8, and 16 no more; without the gains carried forward 4 lost 5.
	static constexpr int path_rounds = 8;

	// The first count symbols from the metadata symbol on, under the
	// drift set; returns the log-likelihood of the symbols, up to a
	// constant.
	float demodulate(int count)
	{
		for (int k = 0; k < carrier_count; ++k) {
			channel[k] = last[k] = start_channel[k], base[k] = start_base[k];
			for (int j = 0; j < M; ++j) state[k][j] = j == 0;
		}
		float evidence = 0;
		for (int s = 0; s < count; ++s) evidence += demodulate(s, received[s]);
		prior_ratios(nullptr);
		return evidence;
	}

	float demodulate(int s, const cmplx *bins)
	{
		for (int k = 0; k < carrier_count; ++k) {
			base[k] *= point[0];
			predicted[k] = channel[k] * rotation(phase + slope * float(k - 128));
		}
		// Fading turns each symbol its own way: what common phase the drift
		// leaves is read from the symbol's own M-th power.
		cmplx level;
		for (int k = 0; k < carrier_count; ++k)
			if (!tone[k]) level += strip(bins[k] * conj(predicted[k] * base[k]));
		cmplx residual = rotation(arg(level) / M);
		for (int k = 0; k < carrier_count; ++k) predicted[k] *= residual;
		float evidence = 0;
		// The estimate's own noise adds to the symbol's.
		float scale = 2 / (noise * (1 + 1.f / (2 * reach + 1)));
		for (int k = 0; k < carrier_count; ++k) {
			if (tone[k]) {
				for (int j = 0; j < M; ++j) state[k][j] = 1.f / M, state_likelihood[s][k][j] = 1;
				observed[k] = cmplx();
				weight[k] = 0;
				continue;
			}
			cmplx c = bins[k] * conj(predicted[k] * base[k]) * scale;
			float *likely = state_likelihood[s][k], top = likelihoods(likely, c), sum = 0;
			for (int j = 0; j < M; ++j) sum += likely[j];
			evidence += top + std::log(sum);
			cmplx mean;
			for (int j = 0; j < M; ++j) mean += point[j] * (state[k][j] = likely[j] / sum);
			mean = base[k] * mean;
			observed[k] = bins[k] * conj(mean);
			weight[k] = norm(mean);
		}
		if (!(lead > 0)) {
			smooth(channel, observed, weight);
			for (int k = 0; k < carrier_count; ++k) channel[k] = (channel[k] + predicted[k]) * 0.5f;
			return evidence;
		}
		smooth(fresh, observed, weight);
		for (int k = 0; k < carrier_count; ++k) {
			cmplx step = rotation(phase + slope * float(k - 128)) * residual;
			channel[k] = fresh[k] + lead * (fresh[k] - last[k] * step);
			last[k] = fresh[k];
		}
		return evidence;
	}

public:
	// The soft bits of the whole burst, for the 8- or the 16-bit decoder.
	template <typename T>
	void soft_bits(T *code) const
	{
		const float scale = soft_scale<T>();
		for (int i = 0; i < code_length; ++i) code[i] = quantize_soft<T>(scale * llr[i]);
	}

	// What soft_bits() multiplies the ratios by.
	template <typename T>
	float soft_scale() const
	{
		constexpr float mean = sizeof(T) == 1 ? soft_mean : wide_soft_mean;
		float sum = 0;
		for (int i = 0; i < code_length; ++i) sum += std::abs(llr[i]);
		return sum > 0 ? mean * code_length / sum : 0;
	}

	// Channel estimate of carriers -128 ... 127, and the noise power per carrier.
	const cmplx *channel_estimate() const { return channel; }
	float noise_power() const { return noise; }
	// Log-likelihood ratios of the code word so far, positive for a 0 bit.
	const float *ratios() const { return llr; }

private:
	cmplx point[M];
	int compose[M][M];
	cmplx data_power;
	cmplx channel[carrier_count], predicted[carrier_count], base[carrier_count];
	cmplx start_channel[carrier_count], start_base[carrier_count];
	cmplx observed[carrier_count], scratch[carrier_count];
	cmplx received[symbol_count][carrier_count], powers[symbol_count][carrier_count];
	cmplx heard[symbol_count][carrier_count], meta_heard[carrier_count];
	float meta_known[carrier_count];
	cmplx meta_bins[carrier_count], fresh[carrier_count], last[carrier_count];
	cmplx sent[symbol_count + 1][carrier_count], doubted[symbol_count + 1][carrier_count];
	cmplx estimate[symbol_count + 1][carrier_count];
	bool counted[symbol_count + 1][carrier_count];
	TimeSmoother<carrier_count, symbol_count + 1> smoother;
	typedef PathFit<carrier_count, 3> Paths;
	Paths paths;
	float weight[carrier_count];
	bool tone[carrier_count];
	float state[carrier_count][M];
	// Of each data symbol's states on each carrier, up to a common factor.
	float state_likelihood[symbol_count][carrier_count][M];
	float llr[code_length];
	// Of data symbol s at s + 1, as in sent and estimate: the transmitted
	// value that the last prior_ratios() expects.
	cmplx expected[symbol_count + 1][carrier_count];
	float noise = 1, phase = 0, slope = 0, found_slope = 0, found_phase = 0;
	int symbols = 0;
	int reach = widest;
	float lead = 0;

	// The window that predicts each carrier of the metadata symbol best from
	// its neighbours (leaving the carrier itself out): wide where the channel
	// is flat, narrow where an echo makes it ripple across the band.
	int fitting_reach(const cmplx *in)
	{
		cmplx *flat = scratch;
		flatten(flat, in);
		int best = widest;
		float least = FLT_MAX;
		for (int r = widest; r >= 1; r /= 2) {
			cmplx sum;
			int count = 0;
			float error = 0;
			for (int k = 0; k < r; ++k) sum += flat[k], ++count;
			for (int k = 0; k < carrier_count; ++k) {
				if (k + r < carrier_count) sum += flat[k + r], ++count;
				if (k - r - 1 >= 0) sum -= flat[k - r - 1], --count;
				error += norm(flat[k] - (sum - flat[k]) / float(count - 1));
			}
			if (error < least) least = error, best = r;
		}
		return best;
	}

	// in with the common phase slope between neighbours taken out; returns
	// the slope.
	float flatten(cmplx *flat, const cmplx *in) const
	{
		cmplx turn;
		for (int k = 1; k < carrier_count; ++k) turn += in[k] * conj(in[k - 1]);
		float step = arg(turn);
		for (int k = 0; k < carrier_count; ++k) flat[k] = in[k] * rotation(-step * float(k - 128));
		return step;
	}

	// Weighted window average of in over the carriers, with the common phase
	// slope between neighbours taken out before and put back after.
	void smooth(cmplx *out, const cmplx *in, const float *w)
	{
		cmplx *flat = scratch;
		float step = flatten(flat, in);
		cmplx sum;
		float total = 0;
		for (int k = 0; k < reach; ++k) sum += flat[k], total += w[k];
		for (int k = 0; k < carrier_count; ++k) {
			if (k + reach < carrier_count) sum += flat[k + reach], total += w[k + reach];
			if (k - reach - 1 >= 0) sum -= flat[k - reach - 1], total -= w[k - reach - 1];
			out[k] = total > 0 ? sum / total * rotation(step * float(k - 128)) : cmplx();
		}
	}

	static cmplx rotation(float angle) { return {std::cos(angle), std::sin(angle)}; }

	// The likelihood of each point that c, a carrier against its channel
	// and base times 2 / noise, gives it, up to the factor e^top; returns top.
	float likelihoods(float *likely, cmplx c) const
	{
		float exponent[M], top = -FLT_MAX;
		for (int j = 0; j < M; ++j) top = std::max(top, exponent[j] = (c * conj(point[j])).re);
		for (int j = 0; j < M; ++j) likely[j] = std::exp(std::max(exponent[j] - top, -80.f));
		return top;
	}

	// The mean of the points under those likelihoods.
	cmplx expected_point(cmplx c) const
	{
		float likely[M], total = 0;
		likelihoods(likely, c);
		cmplx mean;
		for (int j = 0; j < M; ++j) total += likely[j], mean += point[j] * likely[j];
		return mean / total;
	}

	// A steady tone on a carrier (mains hum and its harmonics under a burst
	// that lies low, a whistle) would pass into the channel estimate of every
	// neighbour it is averaged with and into the common phase. A carrier of
	// ten times the median power carries nothing that can be trusted; noise
	// alone makes one of a thousand so strong at the sensitivity limit.
	void find_tones(const cmplx *bins)
	{
		float power[carrier_count], sorted[carrier_count];
		for (int k = 0; k < carrier_count; ++k) sorted[k] = power[k] = norm(bins[k]);
		std::nth_element(sorted, sorted + carrier_count / 2, sorted + carrier_count);
		for (int k = 0; k < carrier_count; ++k) tone[k] = power[k] > 10 * sorted[carrier_count / 2];
	}

	// The sum of v over the carriers, carrier k turned back by
	// angle·(k - 128): what a phase slope across the band leaves of it.
	static cmplx tilted(const cmplx *v, float angle)
	{
		cmplx turn = rotation(-angle), phasor = rotation(angle * 128), sum;
		for (int k = 0; k < carrier_count; ++k) sum += v[k] * phasor, phasor *= turn;
		return sum;
	}

	// The data-free M-th power of v, keeping its magnitude.
	cmplx strip(cmplx v) const
	{
		float size = std::sqrt(norm(v));
		cmplx w = size > 0 ? v / size : cmplx();
		for (int i = 1; i < M; i <<= 1) w = w * w;
		return w * conj(data_power) * size;
	}

	// The phase slope across carriers (radians per carrier) and the common
	// phase that the symbols turn by, each symbol against the one before,
	// that fit the symbols' M-th powers against the metadata symbol best:
	// symbol s has turned s + 1 times by then. Searched over the slopes of
	// clock offsets up to 2000 ppm and the phases inside half a decision
	// region, on grids of half the narrowest peak, then refined by parabolas.
	void joint_drift(int count)
	{
		for (int s = 0; s < count; ++s) {
			cmplx step = point[0];
			for (int i = 0; i < s; ++i) step *= point[0];
			for (int k = 0; k < carrier_count; ++k)
				powers[s][k] = tone[k] ? cmplx() : strip(received[s][k] * conj(channel[k] * base[k] * step));
		}
		const float grid = 0.012f / (M * count);
		const int steps = int(slope_limit / grid) + 1;
		const float phase_grid = 2 * std::numbers::pi_v<float> / M / phase_steps;
		float total[2 * max_steps + 1][phase_steps] = {};
		cmplx sums[symbol_count], turns[phase_steps][symbol_count];
		for (int j = 0; j < phase_steps; ++j)
			for (int s = 0; s < count; ++s) turns[j][s] = rotation(-M * (s + 1) * (j - phase_steps / 2) * phase_grid);
		int best_i = 0, best_j = 0;
		for (int i = 0; i <= 2 * steps; ++i) {
			float t = (i - steps) * grid;
			for (int s = 0; s < count; ++s) {
				sums[s] = tilted(powers[s], M * (s + 1) * t);
			}
			for (int j = 0; j < phase_steps; ++j) {
				cmplx sum;
				for (int s = 0; s < count; ++s) sum += sums[s] * turns[j][s];
				total[i][j] = norm(sum);
				if (total[i][j] > total[best_i][best_j]) best_i = i, best_j = j;
			}
		}
		auto vertex = [](float before, float at, float after) {
			float curve = before - 2 * at + after;
			return curve < 0 ? 0.5f * (before - after) / curve : 0.f;
		};
		float di = 0;
		if (best_i > 0 && best_i < 2 * steps)
			di = vertex(total[best_i - 1][best_j], total[best_i][best_j], total[best_i + 1][best_j]);
		float dj = vertex(total[best_i][(best_j + phase_steps - 1) % phase_steps], total[best_i][best_j],
				  total[best_i][(best_j + 1) % phase_steps]);
		slope = (best_i - steps + di) * grid;
		phase = (best_j - phase_steps / 2 + dj) * phase_grid;
	}

};
