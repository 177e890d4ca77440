#include "dsp/complex.hh"
#include "dsp/fft.hh"
#include "modem/mls.hh"
#include "modem/schmidl_cox.hh"
#include "modem/xorshift.hh"
#include "tests/plain_sync.hh"
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using cmplx = DSP::Complex<float>;

template <int S, int L, int G>
struct Instance
{
	using Sync = SchmidlCox<float, cmplx, S, L, G>;
	using Trigger = typename Sync::Trigger;
	using Plain = PlainSync<float, cmplx, S, L, G>;
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

	// x[t] = half[(t − u + reference) mod L]·e^(2πi·bins·t/L) for t in
	// [from, to): the exact ratios in a window from u − reference.
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

// The pattern is overwritten after construction: reading it later would show.
template <typename I, typename SYNC = typename I::Sync>
std::unique_ptr<SYNC> make_sync()
{
	std::vector<cmplx> seq = ratio_pattern(I::symbol);
	auto sync = std::make_unique<SYNC>(seq.data());
	std::fill(seq.begin(), seq.end(), cmplx(7, 7));
	return sync;
}

// Feeds the newest 4·S samples once per sample, as the intake does. The
// plain steps, when given, must agree on every detection, position and bit
// of frequency: batches run ahead and phases taken only for new peaks.
template <typename I>
std::vector<Detection> run(const std::vector<cmplx> &samples, typename I::Sync &sync,
			   typename I::Plain *plain = nullptr)
{
	std::vector<Detection> found;
	for (int t = 4 * I::search - 1; t < int(samples.size()); ++t) {
		int view = t - 4 * I::search + 1;
		bool detected = sync(samples.data() + view);
		if (plain) {
			EXPECT_EQ(detected, (*plain)(samples.data() + view)) << t;
			if (detected) {
				EXPECT_EQ(sync.symbol_pos, plain->evaluator.symbol_pos) << t;
				EXPECT_EQ(std::bit_cast<uint32_t>(sync.cfo_rad),
					  std::bit_cast<uint32_t>(plain->evaluator.cfo_rad));
			}
		}
		if (detected) found.push_back({view + sync.symbol_pos, sync.cfo_rad, t});
	}
	return found;
}

template <typename I>
class SchmidlCoxTest : public testing::Test
{
};
TYPED_TEST_SUITE(SchmidlCoxTest, Instances);

// Thresholds 0.17 and 0.19 of GUARD_LEN + 1, rounded to float, and the age limit.
TYPED_TEST(SchmidlCoxTest, ThresholdsAndAgeLimitOfTheInstance)
{
	using T = typename TypeParam::Trigger;
	bool narrow = TypeParam::symbol == 640;
	EXPECT_EQ(T::fall_threshold, narrow ? 27.37f : 163.37f);
	EXPECT_EQ(T::rise_threshold, narrow ? 30.59f : 182.59f);
	EXPECT_EQ(T::age_limit, narrow ? 879 : 5279);
}

// Strictly greater to rise, strictly less to fall, the phase taken only for
// a new peak, the peak handed over on the very call that falls and then
// cleared; the age capped.
TYPED_TEST(SchmidlCoxTest, TriggerIsStrictOnBothThresholdsAndCapsTheAge)
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
	EXPECT_EQ(trigger(T::fall_threshold, phase), 0);
	EXPECT_TRUE(trigger.triggered);
	// the peak was 12 calls ago; the falling call counts once more
	EXPECT_EQ(trigger(std::nextafter(T::fall_threshold, 0.f), phase), half + 13);
	EXPECT_FALSE(trigger.triggered);
	EXPECT_EQ(trigger.peak_phase, 2);
	EXPECT_EQ(phases, 2);
	EXPECT_EQ(trigger(0, phase), 0);
	EXPECT_EQ(trigger(T::rise_threshold * 1.5f, phase), 0);
	EXPECT_EQ(trigger.peak_metric, T::rise_threshold * 1.5f);
	EXPECT_EQ(trigger(0, phase), half + 1);
	// however long the sum stays up, the age stops one past the limit
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
	std::vector<cmplx> cor(TypeParam::symbol);
	EXPECT_EQ(Sync::peak_shift(cor.data()), -1);
	for (int runner : {3, TypeParam::symbol - 1}) {
		std::fill(cor.begin(), cor.end(), cmplx(0.25f, -0.25f));
		cor[17] = cmplx(0, -2);
		for (auto [value, shift] :
		     {std::pair{cmplx(1, 0), -1}, {cmplx(0.99f, 0), 17}, {cmplx(0, 2), -1}}) {
			cor[runner] = value;
			EXPECT_EQ(Sync::peak_shift(cor.data()), shift) << runner << ' ' << value.re;
		}
	}
}

// Silence (power below the floor) never triggers and leaves the initial results.
TYPED_TEST(SchmidlCoxTest, SilenceNeverTriggers)
{
	auto sync = make_sync<TypeParam>();
	EXPECT_TRUE(run<TypeParam>(std::vector<cmplx>(12 * TypeParam::search), *sync).empty());
	EXPECT_EQ(sync->symbol_pos, TypeParam::search);
	EXPECT_EQ(sync->cfo_rad, 0);
}

// Each symbol is found once where its pattern is referenced (exactly at
// 40 dB SNR, within two samples at 10 dB), with its frequency wrapped into
// [−π, π); the correlation phase moves the metric's timing (GUARD_LEN/2 + 1
// before the useful part) by GUARD_LEN/2 at most, and a symbol referenced
// further away is refused, leaving the previous results.
TYPED_TEST(SchmidlCoxTest, FindsSymbolsWhereTheirPatternIsReferenced)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	const float clean = 0.01f, noisy = std::sqrt(0.1f);
	// reference, bins, noise; the last four are referenced too far away,
	// two of them just one sample beyond the limit
	struct
	{
		int reference;
		double bins;
		float rms;
	} cases[] = {{G / 2 + 1, 0, clean},   {G / 2 + 1, 120, clean},    {G / 2 + 1, L / 2, clean},
		     {G / 2 + 1, L - 37, clean}, {G / 2 + 1, 120.3, noisy}, {G / 2 + 1, -37.45, noisy},
		     {G / 2 + 1, 250.5, noisy}, {G / 2 + 1, 0.49, noisy},  {G / 4, 0, clean},
		     {G / 2 + 17, 0, clean},    {3 * G / 4, 0, clean},     {1, 0, clean},
		     {G + 1, 0, clean},         {0, 0, clean},             {G + 2, 0, clean},
		     {-G / 2, 0, clean},        {3 * G / 2 + 2, 0, clean}};
	constexpr int count = std::size(cases);
	auto u = [](int i) { return 4 * S + 6 * S * i + 123 * i; };
	Signal<TypeParam> signal(6 * S * count + 4 * S);
	for (int i = 0; i < count; ++i) {
		signal.symbol(u(i), cases[i].reference, cases[i].bins);
		signal.noise(cases[i].rms, i ? 6 * S * i + S : 0, 6 * S * (i + 1) + S);
	}
	auto sync = make_sync<TypeParam>();
	std::vector<Detection> found = run<TypeParam>(signal.samples, *sync);
	ASSERT_EQ(found.size(), count - 4u);
	for (int i = 0; i < count - 4; ++i) {
		bool exact = cases[i].rms == clean;
		EXPECT_NEAR(found[i].position, u(i) - cases[i].reference, exact ? 0 : 2) << i;
		double error = std::remainder(found[i].cfo_rad - cases[i].bins * 2 * M_PI / L, 2 * M_PI);
		EXPECT_NEAR(error, 0, (exact ? 1e-3 : 0.02) * 2 * M_PI / L) << i;
		EXPECT_TRUE(found[i].cfo_rad >= -3.1415927f && found[i].cfo_rad < 3.1415927f) << i;
	}
	EXPECT_EQ(sync->symbol_pos + found.back().call - 4 * S + 1, found.back().position);
}

// A periodic stretch keeps the metric up far beyond the age limit, its peak
// at the start: the evaluation at base = SEARCH_POS − (age limit + 1) takes
// the nearest pattern reference, accepted within GUARD_LEN/2 (required only
// well inside or outside that range: the falling call varies a little).
TYPED_TEST(SchmidlCoxTest, LongTriggerPeriodUsesTheCappedAge)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	constexpr int base = S - (TypeParam::Trigger::age_limit + 1), steps = 64, slack = 40;
	int start = 4 * S, end = start + 3 * S + 2 * L;
	// offset of the evaluated half symbol from the nearest pattern reference
	auto offset = [&](int call, int shift) {
		int view = call - 4 * S + 1;
		return ((view + base + L - (start - shift)) % L + L + L / 2) % L - L / 2;
	};
	std::vector<Detection> found[steps];
	int call = -1;
	for (int i = 0; i < steps; ++i) {
		Signal<TypeParam> signal(end + 4 * S);
		signal.periodic(start, i * L / steps, 0, start, end);
		// a trace of noise after the first symbol's worth makes the
		// metric's early maximum the peak of the whole period
		signal.noise(0.01f, start + G + 2 * L + 100, end);
		found[i] = run<TypeParam>(signal.samples, *make_sync<TypeParam>());
		ASSERT_LE(found[i].size(), 1u);
		if (!found[i].empty()) call = found[i][0].call;
	}
	ASSERT_GE(call, 0);
	for (int i = 0; i < steps; ++i) {
		int tau = offset(call, i * L / steps);
		if (std::abs(tau) < G / 2 - slack || std::abs(tau) > G / 2 + slack) {
			EXPECT_EQ(found[i].size(), std::abs(tau) < G / 2 ? 1u : 0u) << tau;
		}
		if (found[i].empty()) continue;
		EXPECT_NEAR(found[i][0].call, call, slack / 2);
		tau = offset(found[i][0].call, i * L / steps);
		EXPECT_LE(std::abs(tau), G / 2);
		EXPECT_EQ(found[i][0].position, found[i][0].call - 4 * S + 1 + base - tau);
	}
}

// Batches run ahead and phases taken only for new peaks change nothing
// against the plain steps: noise down to 0 dB SNR, references near the
// acceptance's edges and beyond, a trigger period past the age limit;
// falling edges both accepted and refused.
TYPED_TEST(SchmidlCoxTest, MatchesThePlainPerSampleSteps)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	Signal<TypeParam> signal(44 * S);
	float rms[] = {0.05f, 0.3f, 0.7f, 1.f, 0.2f};
	double bins[] = {120.25, -3.5, 17, L / 2.0, -200.125};
	int reference[] = {G / 2 + 1, G / 2 + 8, 3, G, -G / 2};
	for (int i = 0; i < 5; ++i) {
		int u = 5 * S + 6 * S * i + 31 * i;
		signal.symbol(u, reference[i], bins[i]);
		signal.noise(rms[i], u - 2 * S, u + 2 * S);
	}
	signal.periodic(33 * S, 0, 3, 33 * S, 39 * S);
	auto plain = make_sync<TypeParam, typename TypeParam::Plain>();
	int detections = run<TypeParam>(signal.samples, *make_sync<TypeParam>(), plain.get()).size();
	EXPECT_GE(plain->falling_edges, 6);
	EXPECT_GE(detections, 3);
	EXPECT_LT(detections, plain->falling_edges);
}

}
