#pragma once

#include "dsp/sum_tree.hh"
#include "modem/schmidl_cox.hh"
#include <cmath>

// The synchronizer's per-sample steps as plainly stated, the reference for its results and speed:
// each sample inserts one value into each tree and keeps the last GUARD_LEN/2 correlation phases; a
// falling edge goes to the synchronizer's own evaluation, which then holds the results.
template <typename value, typename cmplx, int S, int L, int G>
struct PlainSync
{
	using Sync = SchmidlCox<value, cmplx, S, L, G>;
	Sync evaluator;
	DSP::SumTree<cmplx, L> cor;
	DSP::SumTree<value, 2 * L> pwr;
	DSP::SumTree<value, G + 1> match;
	value phase_history[G / 2] = {};
	int index = 0;
	int falling_edges = 0; // trigger periods ended, accepted or not
	typename Sync::Trigger trigger;

	explicit PlainSync(const cmplx *sequence) : evaluator(sequence) {}

	bool operator()(const cmplx *samples)
	{
		cmplx a = samples[S + L], b = samples[S + 2 * L];
		cor.insert(a * conj(b));
		cmplx P = cor.sum();
		pwr.insert(b.re * b.re + b.im * b.im);
		value R = pwr.sum() / 2, f = value(0.0001 * L);
		match.insert((P.re * P.re + P.im * P.im) / (f > R ? f * f : R * R));
		value phase = value(std::atan2(double(P.im), double(P.re)));
		value old = phase_history[index];
		phase_history[index] = phase;
		if (++index == G / 2) index = 0;
		int age = trigger(match.sum(), [old] { return old; });
		falling_edges += age > 0;
		return age && evaluator.evaluate(samples, age, trigger.peak_phase);
	}
};
