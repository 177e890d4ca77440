#pragma once

#include "dsp/fft.hh"
#include "dsp/oscillator.hh"
#include "dsp/sum_tree.hh"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

// Finds the synchronisation symbol of a burst (two identical halves of
// SYMBOL_LEN samples behind a cyclic guard of GUARD_LEN samples, carriers
// related by a known ±1 sequence) and measures its timing and frequency.
// Called once per input sample with the newest 4·SEARCH_POS samples. The
// smoothed timing metric must rise above RISE hundredths of its peak of
// GUARD_LEN + 1 and a detection ends when it falls below FALL hundredths.
template <typename value, typename cmplx, int SEARCH_POS, int SYMBOL_LEN, int GUARD_LEN, int RISE = 19, int FALL = 17>
class SchmidlCox
{
	static_assert(GUARD_LEN >= 2 && GUARD_LEN % 2 == 0 && SYMBOL_LEN > GUARD_LEN);
	static_assert(SEARCH_POS >= SYMBOL_LEN + GUARD_LEN);
	static constexpr int half_guard = GUARD_LEN / 2;

public:
	// Hysteresis on the smoothed timing metric, and the peak it reaches
	// while above the thresholds.
	struct Trigger
	{
		static_assert(0 < FALL && FALL < RISE && RISE < 100);
		static constexpr value fall_threshold = value(FALL / 100.0 * (GUARD_LEN + 1));
		static constexpr value rise_threshold = value(RISE / 100.0 * (GUARD_LEN + 1));
		// Keeps the evaluated half symbol inside the view however long a
		// trigger period lasts: base = SEARCH_POS − age ≥ SYMBOL_LEN − GUARD_LEN/2.
		static constexpr int age_limit = SEARCH_POS - SYMBOL_LEN + half_guard - 1;

		bool triggered = false, armed = false;
		value peak_metric = 0;
		value peak_phase = 0; // radians, phase of the correlation at the peak
		int peak_age = 0;     // samples since the peak, plus GUARD_LEN/2

		// Takes the metric sum of one sample; phase() yields the correlation
		// phase belonging to it and is only called when that sum is a new
		// peak. Returns 0, or on the call at which the sum falls below the
		// falling threshold after a trigger period, the age of the peak,
		// which is then cleared (peak_phase keeps its phase).
		template <typename PHASE>
		int operator()(value metric, PHASE phase)
		{
			if (triggered && metric < fall_threshold) {
				triggered = false;
			} else if (triggered || !(metric <= rise_threshold)) {
				triggered = armed = true;
				track(metric, phase);
				return 0;
			}
			if (!armed) return 0;
			armed = false;
			track(metric, phase);
			int age = peak_age;
			peak_age = 0;
			peak_metric = 0;
			return age;
		}

	private:
		template <typename PHASE>
		void track(value metric, PHASE phase)
		{
			if (metric > peak_metric) {
				peak_metric = metric;
				peak_phase = phase();
				peak_age = half_guard;
			} else if (peak_age <= age_limit) {
				++peak_age;
			}
		}
	};

	// Results of the latest detection. symbol_pos: offset into the view of
	// the detecting call. The metric alone puts it GUARD_LEN/2 + 1 samples
	// before the end of the periodic run's first GUARD_LEN samples (the guard
	// of a cyclic prefix); the correlation phase then moves it, by at most
	// GUARD_LEN/2, to where a transform window shows the pattern's ratios
	// without a phase ramp. A symbol referenced further away (a plain cyclic
	// prefix, referenced at the end of its guard, is one sample too far) is
	// not accepted. cfo_rad: the burst's centre frequency relative to 0 Hz of
	// the analytic signal, in radians per sample, in [−π, π).
	int symbol_pos = SEARCH_POS;
	value cfo_rad = 0;

	// sequence: SYMBOL_LEN values, the ±1 pattern of neighbouring-carrier
	// ratios on bins −63 … 63 (bin k at index k mod SYMBOL_LEN), zero
	// elsewhere. Only read here.
	explicit SchmidlCox(const cmplx *sequence)
	{
		fwd(kernel, sequence);
		for (cmplx &k : kernel) k = cmplx(k.re / value(SYMBOL_LEN), -k.im / value(SYMBOL_LEN));
	}

	// samples: the newest 4·SEARCH_POS samples, oldest first, moved on by one
	// sample from the previous call. Returns true on the call that completes
	// a detection; symbol_pos and cfo_rad then hold its results. Forced
	// inline: it runs for every sample, and a unit holding a dozen receivers
	// exhausts the compiler's inlining budget before it gets here, leaving a
	// call per sample that costs a third of the speed at 48000 Hz.
	[[gnu::always_inline]] bool operator()(const cmplx *samples)
	{
		if (ahead == batch) run_ahead(samples);
		value M = metric_ahead[ahead];
		// The phase is only wanted for a new peak, so the history keeps
		// the correlation and its arc tangent is taken on demand.
		cmplx old = cor_ahead[ahead];
		++ahead;
		int age = trigger(M, [old] { return value(std::atan2(double(old.im), double(old.re))); });
		return age && evaluate(samples, age, trigger.peak_phase);
	}

	// Evaluates a peak of the given age (samples since it, plus GUARD_LEN/2)
	// and correlation phase in the view of this call: correlates the
	// differential spectrum of the half symbol there with the known
	// pattern. Returns true and sets the results if the correlation has a
	// clear peak and the timing it shows is within GUARD_LEN/2.
	bool evaluate(const cmplx *samples, int age, value peak_phase)
	{
		int base = SEARCH_POS - age;
		frac_cfo = peak_phase / value(SYMBOL_LEN);
		DSP::mix(segment_tmp, samples + base + SYMBOL_LEN, cmplx(1, 0), cmplx(std::cos(frac_cfo), std::sin(frac_cfo)), SYMBOL_LEN);
		fwd(spectrum_tmp, segment_tmp);
		for (int k = 0; k < SYMBOL_LEN; ++k) {
			cmplx prev = spectrum_tmp[k ? k - 1 : SYMBOL_LEN - 1], cur = spectrum_tmp[k];
			value power = prev.re * prev.re + prev.im * prev.im;
			if (!(power > 0)) {
				segment_tmp[k] = cmplx();
				continue;
			}
			cmplx q = cur * conj(prev) / power;
			segment_tmp[k] = q.re * q.re + q.im * q.im <= value(10) ? q : cmplx();
		}
		fwd(spectrum_tmp, segment_tmp);
		for (int k = 0; k < SYMBOL_LEN; ++k) spectrum_tmp[k] *= kernel[k];
		bwd(correlation, spectrum_tmp);
		int shift = peak_shift(correlation);
		if (shift < 0) return false;
		value phase = value(std::atan2(double(correlation[shift].im), double(correlation[shift].re)));
		int rc = int(std::nearbyint(phase * value(SYMBOL_LEN) / value(2 * std::numbers::pi_v<float>)));
		if (std::abs(rc) > half_guard) return false;
		symbol_pos = base - rc;
		cfo_rad = value(shift) * bin_rad - frac_cfo;
		if (cfo_rad >= value(std::numbers::pi_v<float>)) cfo_rad -= value(2 * std::numbers::pi_v<float>);
		return true;
	}

	// Index of the strongest shift of a correlation of SYMBOL_LEN values, or
	// −1 when its power is not above four times that of the runner-up.
	static int peak_shift(const cmplx *correlation)
	{
		value best = 0, next = 0;
		int shift = 0;
		for (int s = 0; s < SYMBOL_LEN; ++s) {
			value power = norm(correlation[s]);
			if (power > best) {
				next = best;
				best = power;
				shift = s;
			} else {
				next = std::max(next, power);
			}
		}
		return best > 4 * next ? shift : -1;
	}

	// Rebuilds the running sums from the samples their windows hold after
	// the call whose view samples is, in the order of a synchronizer built
	// at that call: nothing heard is forgotten and a detection in progress
	// goes on, and once the windows have moved past what came before, every
	// sum is bit for bit what a new synchronizer would compute. (The sums
	// are exact tree sums, but which values meet in which node follows the
	// number of calls since construction.)
	void realign(const cmplx *samples)
	{
		constexpr int P = SEARCH_POS + SYMBOL_LEN, L = SYMBOL_LEN;
		// Such a synchronizer makes its calls j = 4L - 1 ... 0 before, oldest
		// first: whole multiples of each tree's length, so its trees stand
		// at their first leaf after them. Their leaves are set as the calls
		// down to j = GUARD_LEN + 1 leave them, the last calls, whose sums
		// are wanted, are single insertions.
		pwr.assign([samples](int leaf) {
			int j = 2 * L - 1 - leaf + (leaf >= 2 * L - 1 - GUARD_LEN) * 2 * L;
			cmplx b = samples[P + L - j];
			return b.re * b.re + b.im * b.im;
		}, 2 * L - 1 - GUARD_LEN);
		cor.assign([samples](int leaf) {
			int j = L - 1 - leaf + (leaf >= L - 1 - GUARD_LEN) * L;
			return samples[P - j] * conj(samples[P + L - j]);
		}, L - 1 - GUARD_LEN);
		match.clear();
		for (int j = GUARD_LEN; j >= 0; --j) {
			cmplx b = samples[P + L - j];
			pwr.insert(b.re * b.re + b.im * b.im);
			cor.insert(samples[P - j] * conj(b));
			match.insert(normalized(cor.sum(), pwr.sum()));
			if (j < half_guard) cor_ahead[batch + half_guard - 1 - j] = cor.sum();
		}
		ahead = batch;
	}

private:
	static constexpr value energy_floor = value(0.0001 * SYMBOL_LEN);
	static constexpr value floor_power = energy_floor * energy_floor;
	static constexpr value bin_rad = value(2 * std::numbers::pi / SYMBOL_LEN);

	// The metric of a sample needs nothing but samples that the view holds
	// already, up to 3·SEARCH_POS − 2·SYMBOL_LEN calls ahead. So the trees
	// run a batch ahead, each taking the whole batch at once (insertions in
	// fours that share most of their path to the root), and a call takes its
	// metric and correlation from there.
	static constexpr int batch = 512;
	static_assert(batch >= half_guard && SEARCH_POS + 2 * SYMBOL_LEN + batch <= 4 * SEARCH_POS);

	DSP::SumTree<cmplx, SYMBOL_LEN> cor;      // lagged products
	DSP::SumTree<value, 2 * SYMBOL_LEN> pwr;  // sample energies
	DSP::SumTree<value, GUARD_LEN + 1> match; // timing metric
	// correlation of the batch, preceded by that of the GUARD_LEN/2 samples before it
	cmplx cor_ahead[half_guard + batch] = {};
	value metric_ahead[batch];
	cmplx products[batch];
	value energies[batch]; // then the metrics of the batch
	int ahead = batch; // position of this call's sample in the batch
	Trigger trigger;
	value frac_cfo = 0;
	DSP::FastFourierTransform<SYMBOL_LEN, cmplx, -1> fwd;
	DSP::FastFourierTransform<SYMBOL_LEN, cmplx, 1> bwd;
	cmplx spectrum_tmp[SYMBOL_LEN] = {}, segment_tmp[SYMBOL_LEN] = {}, correlation[SYMBOL_LEN] = {};
	cmplx kernel[SYMBOL_LEN];

	void run_ahead(const cmplx *samples)
	{
		const cmplx *a = samples + SEARCH_POS + SYMBOL_LEN, *b = a + SYMBOL_LEN;
		std::copy(cor_ahead + batch, cor_ahead + batch + half_guard, cor_ahead);
		cmplx *P = cor_ahead + half_guard;
		for (int i = 0; i < batch; ++i) products[i] = a[i] * conj(b[i]);
		cor.insert(products, P, batch);
		value *M = metric_ahead;
		for (int i = 0; i < batch; ++i) energies[i] = b[i].re * b[i].re + b[i].im * b[i].im;
		pwr.insert(energies, M, batch);
		for (int i = 0; i < batch; ++i) energies[i] = normalized(P[i], M[i]);
		match.insert(energies, M, batch);
		ahead = 0;
	}

	// One term of the timing metric: the lagged correlation over the energy.
	static value normalized(cmplx correlation, value energy)
	{
		// R is never negative (or else NaN), so comparing its square with
		// the floor's picks the same divisor as comparing R with the floor,
		// and the comparison becomes a vector maximum.
		value R = value(0.5) * energy, square = R * R;
		value d = square < floor_power ? floor_power : square;
		return (correlation.re * correlation.re + correlation.im * correlation.im) / d;
	}
};
