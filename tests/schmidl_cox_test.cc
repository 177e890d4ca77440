#include "dsp/complex.hh"
#include "dsp/fft.hh"
#include "dsp/sum_tree.hh"
#include "src/mls.hh"
#include "src/schmidl_cox.hh"
#include "src/xorshift.hh"
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using cmplx = DSP::Complex<float>;

template <int S, int L, int G>
struct Instance
{
	using Sync = SchmidlCox<float, cmplx, S, L, G>;
	using Trigger = typename Sync::Trigger;
	static constexpr int search = S, symbol = L, guard = G;
};

// The two receiver instances: 8000 Hz and 48000 Hz.
using Instances = testing::Types<Instance<1440, 640, 160>, Instance<8640, 3840, 960>>;

// The ±1 ratios of neighbouring carriers −63 … 63, bin k at index k mod L.
std::vector<cmplx> ratio_pattern(int L)
{
	std::vector<cmplx> seq(L);
	MLS mls(0x89);
	for (int c = -63; c <= 63; ++c) seq[(c + L) % L] = mls() ? -1.f : 1.f;
	return seq;
}

// One period of the synchronisation symbol's half: carriers −64 … 63 with
// X[−64] = 1 and X[c] = X[c − 1]·ratio(c), unit mean power.
template <int L>
std::vector<cmplx> half_symbol()
{
	std::vector<cmplx> seq = ratio_pattern(L), freq(L), time(L);
	cmplx x = 1;
	freq[L - 64] = x;
	for (int c = -63; c < 64; ++c) freq[(c + L) % L] = x = x * seq[(c + L) % L];
	auto bwd = std::make_unique<DSP::FastFourierTransform<L, cmplx, 1>>();
	(*bwd)(time.data(), freq.data());
	for (cmplx &v : time) v /= std::sqrt(128.f);
	return time;
}

float gauss(Xorshift32 &rng)
{
	double u = (rng() + 1.0) * 0x1p-32, v = rng() * 0x1p-32;
	return float(std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v));
}

template <typename I>
struct Signal
{
	static constexpr int S = I::search, L = I::symbol, G = I::guard;
	std::vector<cmplx> samples;
	Xorshift32 rng;

	explicit Signal(int length) : samples(length) {}

	// Writes x[t] = half[(t − u + reference) mod L]·e^(2πi·bins·t/L) for t
	// in [from, to): the half symbol's carriers have the exact ±1 ratios in
	// a transform window starting at u − reference. With whole bins the
	// rotation repeats exactly every L samples.
	void periodic(int u, int reference, double bins, int from, int to)
	{
		static const std::vector<cmplx> half = half_symbol<L>();
		for (int t = from; t < to; ++t) {
			double turns = std::fmod(bins * t, double(L)) / L;
			cmplx rot(float(std::cos(2 * M_PI * turns)), float(std::sin(2 * M_PI * turns)));
			samples[t] = half[((t - u + reference) % L + L) % L] * rot;
		}
	}

	// Synchronisation symbol whose useful part starts at u, behind its guard.
	void symbol(int u, int reference, double bins) { periodic(u, reference, bins, u - G, u + 2 * L); }

	void noise(float rms, int from, int to)
	{
		float sigma = rms / std::sqrt(2.f);
		for (int t = from; t < to; ++t) samples[t] += cmplx(sigma * gauss(rng), sigma * gauss(rng));
	}
};

struct Detection
{
	int position; // symbol_pos made absolute: view start + symbol_pos
	float cfo_rad;
	int call;
};

// Calls the synchronizer once per sample with the newest 4·S samples, as
// the intake does, from the first call whose view lies inside the signal.
template <typename I>
std::vector<Detection> run(typename I::Sync &sync, const std::vector<cmplx> &samples)
{
	std::vector<Detection> found;
	for (int t = 4 * I::search - 1; t < int(samples.size()); ++t) {
		int view = t - 4 * I::search + 1;
		if (sync(samples.data() + view)) found.push_back({view + sync.symbol_pos, sync.cfo_rad, t});
	}
	return found;
}

template <typename I>
std::unique_ptr<typename I::Sync> make_sync()
{
	std::vector<cmplx> seq = ratio_pattern(I::symbol);
	auto sync = std::make_unique<typename I::Sync>(seq.data());
	// the pattern is only read while constructing
	std::fill(seq.begin(), seq.end(), cmplx(7, 7));
	return sync;
}

template <typename I>
class SchmidlCoxTest : public testing::Test
{
};
TYPED_TEST_SUITE(SchmidlCoxTest, Instances);

TEST(SchmidlCoxPattern, IsTheMaximalLengthSequenceOfX7X3)
{
	std::vector<cmplx> seq = ratio_pattern(640);
	std::string signs;
	for (int c = -63; c <= 63; ++c) signs += seq[(c + 640) % 640].re > 0 ? '+' : '-';
	EXPECT_EQ(signs, "++++++-+++-++--+++-+---+-+--+--+++++--++--+-+-++---++----+--+-++++"
			 "-+-+-+-----+-++-+-+++--+---+++-------++++---+----++-+--++-++-");
}

TYPED_TEST(SchmidlCoxTest, ThresholdsAndAgeLimitOfTheInstance)
{
	using T = typename TypeParam::Trigger;
	bool narrow = TypeParam::symbol == 640;
	EXPECT_EQ(T::fall_threshold, narrow ? 27.37f : 163.37f);
	EXPECT_EQ(T::rise_threshold, narrow ? 30.59f : 182.59f);
	EXPECT_EQ(T::age_limit, narrow ? 879 : 5279);
}

// Strictly greater to rise, strictly less to fall, and the peak is handed
// over on the very call that falls, never while the sum stays up.
TYPED_TEST(SchmidlCoxTest, TriggerHysteresisIsStrictOnBothThresholds)
{
	using T = typename TypeParam::Trigger;
	constexpr int half = TypeParam::guard / 2;
	T trigger;
	int phases = 0;
	auto phase = [&phases] { return float(++phases); };
	EXPECT_EQ(trigger(T::rise_threshold, phase), 0);
	EXPECT_FALSE(trigger.triggered);
	EXPECT_EQ(trigger(std::nextafter(T::rise_threshold, 1e9f), phase), 0);
	EXPECT_TRUE(trigger.triggered);
	EXPECT_EQ(trigger.peak_age, half);
	EXPECT_EQ(trigger(40 * T::rise_threshold, phase), 0); // new peak
	EXPECT_EQ(trigger.peak_phase, 2);
	for (int i = 0; i < 10; ++i) EXPECT_EQ(trigger(2 * T::rise_threshold, phase), 0);
	EXPECT_EQ(trigger(T::fall_threshold, phase), 0);
	EXPECT_TRUE(trigger.triggered);
	EXPECT_EQ(trigger(T::fall_threshold, phase), 0);
	// the peak was 12 calls ago; the falling call counts once more
	EXPECT_EQ(trigger(std::nextafter(T::fall_threshold, 0.f), phase), half + 13);
	EXPECT_FALSE(trigger.triggered);
	EXPECT_EQ(trigger.peak_phase, 2);
	EXPECT_EQ(phases, 2);
	// cleared: the next trigger period starts a new peak
	EXPECT_EQ(trigger(0, phase), 0);
	EXPECT_EQ(trigger(T::rise_threshold * 1.5f, phase), 0);
	EXPECT_EQ(trigger.peak_metric, T::rise_threshold * 1.5f);
	EXPECT_EQ(trigger(0, phase), half + 1);
}

TYPED_TEST(SchmidlCoxTest, TriggerCapsThePeakAge)
{
	using T = typename TypeParam::Trigger;
	T trigger;
	auto phase = [] { return 0.5f; };
	trigger(100 * T::rise_threshold, phase);
	for (int i = 0; i < 3 * T::age_limit; ++i) trigger(T::fall_threshold, phase);
	EXPECT_EQ(trigger.peak_age, T::age_limit + 1);
	EXPECT_EQ(trigger(0, phase), T::age_limit + 1);
}

// A correlation peak must be more than four times the power of the
// runner-up, whichever side of it the runner-up lies.
TYPED_TEST(SchmidlCoxTest, PeakNeedsFourTimesTheRunnerUp)
{
	using Sync = typename TypeParam::Sync;
	constexpr int L = TypeParam::symbol;
	std::vector<cmplx> cor(L);
	EXPECT_EQ(Sync::peak_shift(cor.data()), -1);
	for (int runner : {3, L - 1}) {
		std::fill(cor.begin(), cor.end(), cmplx(0.25f, -0.25f));
		cor[17] = cmplx(0, -2);
		cor[runner] = cmplx(1, 0);
		EXPECT_EQ(Sync::peak_shift(cor.data()), -1) << runner;
		cor[runner] = cmplx(0.99f, 0);
		EXPECT_EQ(Sync::peak_shift(cor.data()), 17) << runner;
		cor[runner] = cmplx(0, 2);
		EXPECT_EQ(Sync::peak_shift(cor.data()), -1) << runner;
	}
}

TYPED_TEST(SchmidlCoxTest, SilenceNeverTriggers)
{
	auto sync = make_sync<TypeParam>();
	std::vector<cmplx> silence(12 * TypeParam::search);
	EXPECT_TRUE(run<TypeParam>(*sync, silence).empty());
	EXPECT_EQ(sync->symbol_pos, TypeParam::search);
	EXPECT_EQ(sync->cfo_rad, 0);
}

// A symbol on whole bins at 40 dB SNR, its pattern referenced GUARD_LEN/2 + 1
// samples before its useful part: found there exactly, once, with the bin's
// frequency, wrapped into [−π, π).
TYPED_TEST(SchmidlCoxTest, FindsSymbolOnWholeBins)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	for (int bins : {0, 120, L / 2, L - 37}) {
		auto sync = make_sync<TypeParam>();
		Signal<TypeParam> signal(10 * S);
		int u = 5 * S + 123;
		signal.symbol(u, G / 2 + 1, bins);
		signal.noise(0.01f, 0, 10 * S);
		std::vector<Detection> found = run<TypeParam>(*sync, signal.samples);
		ASSERT_EQ(found.size(), 1u) << bins;
		EXPECT_EQ(found[0].position, u - G / 2 - 1) << bins;
		// at half the rate, ±π are the same frequency
		double error = std::remainder(found[0].cfo_rad - bins * 2 * M_PI / L, 2 * M_PI);
		EXPECT_NEAR(error, 0, 1e-3 * 2 * M_PI / L) << bins;
		EXPECT_TRUE(found[0].cfo_rad >= -3.1415927f && found[0].cfo_rad < 3.1415927f) << bins;
	}
}

// The correlation phase moves the position to where the pattern is
// referenced, by at most GUARD_LEN/2 from the metric's timing (which is
// itself off by a few samples, depending on the signal); a larger
// correction rejects the detection and leaves the previous results.
TYPED_TEST(SchmidlCoxTest, TimingCorrectionIsLimitedToHalfTheGuard)
{
	constexpr int S = TypeParam::search, G = TypeParam::guard;
	auto sync = make_sync<TypeParam>();
	int reference[] = {G / 4, G / 2 + 1, G / 2 + 17, 3 * G / 4, -G / 2, 3 * G / 2 + 2};
	Signal<TypeParam> signal(6 * S * 6 + 4 * S);
	for (int i = 0; i < 6; ++i) signal.symbol(4 * S + 6 * S * i, reference[i], 0);
	signal.noise(0.01f, 0, 6 * S * 6 + 4 * S);
	std::vector<Detection> found = run<TypeParam>(*sync, signal.samples);
	ASSERT_EQ(found.size(), 4u);
	for (int i = 0; i < 4; ++i)
		EXPECT_EQ(found[i].position, 4 * S + 6 * S * i - reference[i]) << reference[i];
	EXPECT_EQ(sync->symbol_pos + found[3].call - 4 * S + 1, found[3].position);
}

// A burst with a fractional frequency offset in white noise at 10 dB SNR
// (over the whole band): found once, within a sample or two of its
// reference, with the offset to a fiftieth of a bin.
TYPED_TEST(SchmidlCoxTest, FindsNoisySymbolWithFractionalOffset)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	int detected = 0;
	for (double bins : {120.3, -37.45, 250.5, 0.49}) {
		auto sync = make_sync<TypeParam>();
		Signal<TypeParam> signal(10 * S);
		int u = 5 * S + 777;
		signal.symbol(u, G / 2 + 1, bins);
		signal.noise(std::sqrt(0.1f), 0, 10 * S);
		std::vector<Detection> found = run<TypeParam>(*sync, signal.samples);
		ASSERT_EQ(found.size(), 1u) << bins;
		EXPECT_NEAR(found[0].position, u - G / 2 - 1, 2) << bins;
		EXPECT_NEAR(found[0].cfo_rad, bins * 2 * M_PI / L, 0.02 * 2 * M_PI / L) << bins;
		detected += found.size();
	}
	EXPECT_EQ(detected, 4);
}

// A trigger period much longer than the symbol: a periodic signal that keeps
// the metric high, its peak at the start. The evaluation must then take the
// capped age, base = SEARCH_POS − (age limit + 1): the position is the
// pattern reference nearest to it, accepted only within GUARD_LEN/2. The
// call at which the metric falls depends a little on the signal, so
// acceptance is only required well inside that range and refusal well
// outside it.
TYPED_TEST(SchmidlCoxTest, LongTriggerPeriodUsesTheCappedAge)
{
	using T = typename TypeParam::Trigger;
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	constexpr int base = S - (T::age_limit + 1), steps = 64, slack = 40;
	int start = 4 * S, end = start + 3 * S + 2 * L;
	// offset of the evaluated half symbol from the nearest pattern reference
	auto offset = [&](int call, int shift) {
		int view = call - 4 * S + 1;
		return ((view + base + L - (start - shift)) % L + L + L / 2) % L - L / 2;
	};
	std::vector<Detection> found[steps];
	int call = -1;
	for (int i = 0; i < steps; ++i) {
		auto sync = make_sync<TypeParam>();
		Signal<TypeParam> signal(end + 4 * S);
		signal.periodic(start, i * L / steps, 0, start, end);
		// a trace of noise after the first symbol's worth makes the
		// metric's early maximum the peak of the whole period
		signal.noise(0.01f, start + G + 2 * L + 100, end);
		found[i] = run<TypeParam>(*sync, signal.samples);
		ASSERT_LE(found[i].size(), 1u);
		if (!found[i].empty()) call = found[i][0].call;
	}
	ASSERT_GE(call, 0);
	for (int i = 0; i < steps; ++i) {
		int tau = offset(call, i * L / steps);
		if (std::abs(tau) < G / 2 - slack) {
			EXPECT_EQ(found[i].size(), 1u) << tau;
		}
		if (std::abs(tau) > G / 2 + slack) {
			EXPECT_EQ(found[i].size(), 0u) << tau;
		}
		if (found[i].empty()) continue;
		EXPECT_NEAR(found[i][0].call, call, slack / 2);
		tau = offset(found[i][0].call, i * L / steps);
		EXPECT_LE(std::abs(tau), G / 2);
		EXPECT_EQ(found[i][0].position, found[i][0].call - 4 * S + 1 + base - tau);
	}
}

// The per-sample steps as plainly stated: every sample updates three trees
// one insertion at a time, takes the phase of the correlation and keeps the
// last GUARD_LEN/2 phases; falling edges go to the synchronizer's own
// evaluation. The synchronizer, which runs its trees ahead in batches and
// takes the phase only for a new peak, must report the same detections,
// bit for bit.
template <typename I>
struct PlainMetric
{
	static constexpr int S = I::search, L = I::symbol, G = I::guard;
	DSP::SumTree<cmplx, L> cor;
	DSP::SumTree<float, 2 * L> pwr;
	DSP::SumTree<float, G + 1> match;
	float phase_history[G / 2] = {};
	int index = 0;
	typename I::Trigger trigger;

	// age of the peak on a falling edge, else 0
	int operator()(const cmplx *samples)
	{
		cmplx a = samples[S + L], b = samples[S + 2 * L];
		cor.insert(a * conj(b));
		cmplx P = cor.sum();
		pwr.insert(b.re * b.re + b.im * b.im);
		float R = pwr.sum() / 2, f = float(0.0001 * L);
		match.insert((P.re * P.re + P.im * P.im) / (f > R ? f * f : R * R));
		float phase = float(std::atan2(double(P.im), double(P.re)));
		float old = phase_history[index];
		phase_history[index] = phase;
		index = (index + 1) % (G / 2);
		return trigger(match.sum(), [old] { return old; });
	}
};

TYPED_TEST(SchmidlCoxTest, MatchesThePlainPerSampleSteps)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	Signal<TypeParam> signal(44 * S);
	// the last one is referenced too far from its guard to be accepted
	float rms[] = {0.05f, 0.3f, 0.7f, 1.f, 0.2f};
	double bins[] = {120.25, -3.5, 17, L / 2.0, -200.125};
	int reference[] = {G / 2 + 1, G / 2 + 8, 3, G, -G / 2};
	for (int i = 0; i < 5; ++i) {
		int u = 5 * S + 6 * S * i + 31 * i;
		signal.symbol(u, reference[i], bins[i]);
		signal.noise(rms[i], u - 2 * S, u + 2 * S);
	}
	// a long periodic stretch for a trigger period beyond the age limit
	signal.periodic(33 * S, 0, 3, 33 * S, 39 * S);
	auto sync = make_sync<TypeParam>(), evaluator = make_sync<TypeParam>();
	auto plain = std::make_unique<PlainMetric<TypeParam>>();
	int edges = 0, detections = 0;
	for (int t = 4 * S - 1; t < int(signal.samples.size()); ++t) {
		const cmplx *view = signal.samples.data() + t - 4 * S + 1;
		int age = (*plain)(view);
		bool expected = age && evaluator->evaluate(view, age, plain->trigger.peak_phase);
		edges += age > 0;
		ASSERT_EQ((*sync)(view), expected) << t;
		if (!expected) continue;
		++detections;
		EXPECT_EQ(sync->symbol_pos, evaluator->symbol_pos);
		EXPECT_EQ(std::bit_cast<uint32_t>(sync->cfo_rad),
			  std::bit_cast<uint32_t>(evaluator->cfo_rad));
	}
	EXPECT_GE(edges, 6);
	EXPECT_GE(detections, 3);
	EXPECT_LT(detections, edges);
}

}
