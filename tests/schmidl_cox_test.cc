#include "dsp/complex.hh"
#include "dsp/fft.hh"
#include "modem/mls.hh"
#include "modem/schmidl_cox.hh"
#include "modem/xorshift.hh"
#include "testing/plain_sync.hh"
#include <numbers>
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

// One period of the synchronisation symbol's half: carriers −64 … 63 with X[−64] = 1 and
// X[c] = X[c − 1]·ratio(c), unit mean power.
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

template <typename I>
struct Signal
{
	static constexpr int L = I::symbol, G = I::guard;
	std::vector<cmplx> samples;
	Xorshift32 rng;

	explicit Signal(int length) : samples(length) {}

	// x[t] = half[(t − u + reference) mod L]·e^(2πi·bins·t/L) for t in [from, to): the exact ratios
	// in a window from u − reference.
	void periodic(int u, int reference, double bins, int from, int to)
	{
		static const std::vector<cmplx> half = half_symbol<L>();
		for (int t = from; t < to; ++t) {
			double turns = std::fmod(bins * t, double(L)) / L;
			cmplx rot(float(std::cos(2 * std::numbers::pi * turns)), float(std::sin(2 * std::numbers::pi * turns)));
			samples[t] = half[((t - u + reference) % L + L) % L] * rot;
		}
	}

	// Synchronisation symbol whose useful part starts at u, behind its guard.
	void symbol(int u, int reference, double bins) { periodic(u, reference, bins, u - G, u + 2 * L); }

	void noise(float rms, int from, int to)
	{
		auto gauss = [this] {
			double u = (rng() + 1.0) * 0x1p-32, v = rng() * 0x1p-32;
			return float(std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * v));
		};
		float sigma = rms / std::sqrt(2.f);
		for (int t = from; t < to; ++t) samples[t] += cmplx(sigma * gauss(), sigma * gauss());
	}
};

struct Detection
{
	int position; // symbol_pos made absolute: view start + symbol_pos
	float cfo_rad;
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

// Feeds the newest 4·S samples once per sample, as the intake does. The plain steps, when given, must
// agree on every detection, position and bit of frequency.
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
		if (detected) found.push_back({view + sync.symbol_pos, sync.cfo_rad});
	}
	return found;
}

template <typename I>
class SchmidlCoxTest : public testing::Test
{
};
TYPED_TEST_SUITE(SchmidlCoxTest, Instances);

// Thresholds 0.17 and 0.19 of GUARD_LEN + 1 and the age limit; strictly greater to rise, strictly
// less to fall, the phase taken only for a new peak, the peak's age handed over on the very call
// that falls and then cleared; the age capped one past its limit.
TYPED_TEST(SchmidlCoxTest, TriggerIsStrictOnBothThresholdsAndCapsTheAge)
{
	using T = typename TypeParam::Trigger;
	bool narrow = TypeParam::symbol == 640;
	EXPECT_EQ(T::fall_threshold, narrow ? 27.37f : 163.37f);
	EXPECT_EQ(T::rise_threshold, narrow ? 30.59f : 182.59f);
	EXPECT_EQ(T::age_limit, narrow ? 879 : 5279);
	constexpr int half = TypeParam::guard / 2;
	T trigger;
	int phases = 0;
	auto phase = [&phases] { return float(++phases); };
	EXPECT_EQ(trigger(T::rise_threshold, phase), 0);
	EXPECT_FALSE(trigger.triggered);
	EXPECT_EQ(trigger(std::nextafter(T::rise_threshold, 1e9f), phase), 0);
	EXPECT_TRUE(trigger.triggered);
	EXPECT_EQ(trigger(40 * T::rise_threshold, phase), 0); // new peak
	for (int i = 0; i < 10; ++i) EXPECT_EQ(trigger(2 * T::rise_threshold, phase), 0);
	EXPECT_EQ(trigger(T::fall_threshold, phase), 0);
	EXPECT_EQ(trigger(T::fall_threshold, phase), 0);
	// the peak was 12 calls ago; the falling call counts once more
	EXPECT_EQ(trigger(std::nextafter(T::fall_threshold, 0.f), phase), half + 13);
	EXPECT_FALSE(trigger.triggered);
	EXPECT_EQ(trigger.peak_phase, 2);
	EXPECT_EQ(phases, 2);
	EXPECT_EQ(trigger(0, phase), 0);
	trigger(1.5f * T::rise_threshold, phase); // a new peak below the cleared one
	EXPECT_EQ(trigger(0, phase), half + 1);
	trigger(100 * T::rise_threshold, phase);
	for (int i = 0; i < 3 * T::age_limit; ++i) trigger(T::fall_threshold, phase);
	EXPECT_EQ(trigger(0, phase), T::age_limit + 1);
}

// A correlation peak must be more than four times the power of the runner-up, on either side of it.
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

// Evaluated at a peak, the timing the correlation shows is accepted within GUARD_LEN/2 of the
// metric's, either way, and not one sample further; symbol_pos is then the pattern's reference.
TYPED_TEST(SchmidlCoxTest, AcceptsTimingWithinHalfTheGuard)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	auto sync = make_sync<TypeParam>();
	Signal<TypeParam> signal(4 * S);
	const int age = G / 2 + 40, base = S - age;
	for (int d : {-G / 2 - 1, -G / 2, 0, G / 2, G / 2 + 1}) {
		signal.periodic(0, ((d - base) % L + L) % L, 0, 0, 4 * S);
		bool accepted = sync->evaluate(signal.samples.data(), age, 0);
		EXPECT_EQ(accepted, std::abs(d) <= G / 2) << d;
		if (accepted) {
			EXPECT_EQ(sync->symbol_pos, base - d) << d;
		}
	}
}

// Each symbol is found once where its pattern is referenced (exactly at 40 dB SNR, within two samples
// at 10 dB), its frequency wrapped into [−π, π). The metric alone times it GUARD_LEN/2 + 1 before the
// useful part; the correlation moves that by GUARD_LEN/2 at most, and symbols referenced further away
// are refused. Behind them a symbol at 0 dB SNR and a trigger period past the
// age limit. Batches run ahead and phases taken only for new peaks change nothing against the plain
// per-sample steps, on every falling edge, accepted or refused.
TYPED_TEST(SchmidlCoxTest, FindsSymbolsWhereTheirPatternIsReferencedAsThePlainStepsDo)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard;
	const float clean = 0.01f, noisy = std::sqrt(0.1f);
	struct
	{
		int reference;
		double bins;
		float rms;
	} cases[] = {{G / 2 + 1, 120, clean},     {G / 2 + 1, L / 2, clean}, {G / 2 + 1, L - 37, clean},
		     {G / 2 + 1, -37.45, noisy}, {G / 2 + 1, 0.49, noisy},  {1, 0, clean},
		     {G + 1, 0, clean},          {-G / 2, 0, clean},        {3 * G / 2 + 2, 0, clean},
		     {G / 2 + 8, -200.125, 1}};
	constexpr int count = std::size(cases), checked = count - 3;
	auto u = [](int i) { return 4 * S + 6 * S * i + 123 * i; };
	Signal<TypeParam> signal(6 * S * count + 12 * S);
	for (int i = 0; i < count; ++i) {
		signal.symbol(u(i), cases[i].reference, cases[i].bins);
		signal.noise(cases[i].rms, u(i) - 2 * S, u(i) + 4 * S);
	}
	signal.periodic(6 * S * count + 2 * S, 0, 3, 6 * S * count + 2 * S, 6 * S * count + 8 * S);
	auto plain = make_sync<TypeParam, typename TypeParam::Plain>();
	std::vector<Detection> found = run<TypeParam>(signal.samples, *make_sync<TypeParam>(), plain.get());
	ASSERT_GE(found.size(), size_t(checked));
	EXPECT_GT(plain->falling_edges, int(found.size()));
	for (int i = 0; i < checked; ++i) {
		bool exact = cases[i].rms == clean;
		EXPECT_NEAR(found[i].position, u(i) - cases[i].reference, exact ? 0 : 2) << i;
		double error = std::remainder(found[i].cfo_rad - cases[i].bins * 2 * std::numbers::pi / L, 2 * std::numbers::pi);
		EXPECT_NEAR(error, 0, (exact ? 1e-3 : 0.02) * 2 * std::numbers::pi / L) << i;
		EXPECT_TRUE(found[i].cfo_rad >= -3.1415927f && found[i].cfo_rad < 3.1415927f) << i;
	}
	for (int i = checked; i < int(found.size()); ++i) EXPECT_GT(found[i].position, u(count - 2) + L) << i;
}

// A synchronizer realigned after its view V − 1 keeps everything it heard: on noisy symbols that peak
// while its windows still hold products from before V (the first, while its phases do), it finds what
// one that heard only the views V − 4·SYMBOL_LEN … V − 1 (its correlation and energy trees' whole
// cycles) finds, bit for bit.
TYPED_TEST(SchmidlCoxTest, RealignedSynchronizerFindsWhatOneBuiltFourSymbolsEarlierFinds)
{
	constexpr int S = TypeParam::search, L = TypeParam::symbol, G = TypeParam::guard, V = 3 * S;
	for (int offset : {G / 4, 2 * G, L / 2, L}) {
		Signal<TypeParam> signal(V + 12 * S);
		signal.symbol(V + S + offset, G / 2 + 1, -37.45);
		signal.noise(std::sqrt(0.1f), 0, V + 12 * S);
		const std::vector<cmplx> &x = signal.samples;
		auto heard = make_sync<TypeParam>();
		for (int view = 0; view < V; ++view) (*heard)(x.data() + view);
		heard->realign(x.data() + V - 1);
		std::vector<Detection> found = run<TypeParam>({x.begin() + V, x.end()}, *heard);
		std::vector<Detection> expected = run<TypeParam>({x.begin() + V - 4 * L, x.end()}, *make_sync<TypeParam>());
		ASSERT_FALSE(expected.empty()) << offset;
		ASSERT_EQ(found.size(), expected.size()) << offset;
		for (size_t i = 0; i < found.size(); ++i) {
			EXPECT_EQ(found[i].position + 4 * L, expected[i].position) << offset;
			EXPECT_EQ(std::bit_cast<uint32_t>(found[i].cfo_rad), std::bit_cast<uint32_t>(expected[i].cfo_rad));
		}
	}
}

}
