// Per-sample cost of the synchronizer at both receiver instances, driven as
// the intake drives it: every sample is written twice into a ring of
// 2·4·SEARCH_POS samples and the synchronizer sees the newest 4·SEARCH_POS.
// "noise" is white noise alone; "bursts" is a burst every two seconds (a
// synchronisation symbol and eight symbols of random carriers) in noise at
// 10 dB SNR, so that the trigger, the peak tracking and the evaluation run.
// "plain" is the reference of tests/plain_sync.hh: the per-sample steps as
// plainly stated, three single tree insertions and the arc tangent of every
// correlation.
#include "dsp/complex.hh"
#include "dsp/fft.hh"
#include "modem/mls.hh"
#include "modem/schmidl_cox.hh"
#include "modem/xorshift.hh"
#include "testing/plain_sync.hh"
#include <numbers>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using cmplx = DSP::Complex<float>;

float gauss(Xorshift32 &rng)
{
	double u = (rng() + 1.0) * 0x1p-32, v = rng() * 0x1p-32;
	return float(std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * v));
}

template <int RATE, int S, int L, int G>
struct Instance
{
	using Sync = SchmidlCox<float, cmplx, S, L, G>;
	using Plain = PlainSync<float, cmplx, S, L, G>;
	static constexpr int rate = RATE, search = S, symbol = L, guard = G;

	static std::vector<cmplx> pattern()
	{
		std::vector<cmplx> seq(L);
		MLS mls(0x89);
		for (int c = -63; c <= 63; ++c) seq[(c + L) % L] = mls() ? -1.f : 1.f;
		return seq;
	}

	// Ten seconds of signal, unit signal power where there is a burst.
	static std::vector<cmplx> source(bool bursts)
	{
		Xorshift32 rng;
		std::vector<cmplx> out(10 * RATE);
		float sigma = std::sqrt(bursts ? 0.05f : 0.5f);
		for (cmplx &v : out) v = cmplx(sigma * gauss(rng), sigma * gauss(rng));
		if (!bursts) return out;
		auto bwd = std::make_unique<DSP::FastFourierTransform<L, cmplx, 1>>();
		auto bwd2 = std::make_unique<DSP::FastFourierTransform<2 * L, cmplx, 1>>();
		std::vector<cmplx> seq = pattern(), freq(2 * L), half(L), full(2 * L);
		cmplx x = 1;
		freq[L - 64] = x;
		for (int c = -63; c < 64; ++c) freq[(c + L) % L] = x = x * seq[(c + L) % L];
		(*bwd)(half.data(), freq.data());
		double turns = 1500.0 / RATE;
		for (int start = RATE / 2; start + 10 * (2 * L + G) < int(out.size()); start += 2 * RATE) {
			int u = start + G;
			for (int t = u - G; t < u + 2 * L; ++t)
				out[t] += half[((t - u + G / 2 + 1) % L + L) % L] / std::sqrt(128.f);
			for (int sym = 1; sym <= 8; ++sym) {
				std::fill(freq.begin(), freq.end(), cmplx());
				for (int c = -128; c < 128; ++c) {
					double ph = 2 * std::numbers::pi * (rng() & 3) / 4;
					freq[(c + 2 * L) % (2 * L)] =
					    cmplx(float(std::cos(ph)), float(std::sin(ph)));
				}
				(*bwd2)(full.data(), freq.data());
				int s0 = start + sym * (2 * L + G);
				for (int t = 0; t < 2 * L + G; ++t)
					out[s0 + t] += full[(t + 2 * L - G) % (2 * L)] / std::sqrt(256.f);
			}
			for (int t = start; t < start + 9 * (2 * L + G); ++t) {
				double ph = 2 * std::numbers::pi * std::fmod(turns * t, 1.0);
				out[t] = out[t] * cmplx(float(std::cos(ph)), float(std::sin(ph)));
			}
		}
		return out;
	}
};

template <typename I, typename SYNC>
void per_sample(benchmark::State &state, bool bursts)
{
	constexpr int history = 4 * I::search;
	std::vector<cmplx> input = I::source(bursts), seq = I::pattern();
	auto sync = std::make_unique<SYNC>(seq.data());
	std::vector<cmplx> ring(2 * history);
	int pos0 = 0, pos1 = history;
	int64_t samples = 0, detections = 0;
	for (auto _ : state) {
		for (cmplx sample : input) {
			ring[pos0] = sample;
			ring[pos1] = sample;
			if (++pos0 == 2 * history) pos0 = 0;
			if (++pos1 == 2 * history) pos1 = 0;
			detections += (*sync)(ring.data() + std::min(pos0, pos1));
		}
		samples += input.size();
	}
	state.SetItemsProcessed(samples);
	state.counters["ns/sample"] = benchmark::Counter(
	    double(samples) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
	state.counters["detections/s"] = double(detections) * I::rate / double(samples);
}

using Narrow = Instance<8000, 1440, 640, 160>;
using Wide = Instance<48000, 8640, 3840, 960>;

void sync_8000_noise(benchmark::State &state) { per_sample<Narrow, Narrow::Sync>(state, false); }
void sync_8000_bursts(benchmark::State &state) { per_sample<Narrow, Narrow::Sync>(state, true); }
void sync_48000_noise(benchmark::State &state) { per_sample<Wide, Wide::Sync>(state, false); }
void sync_48000_bursts(benchmark::State &state) { per_sample<Wide, Wide::Sync>(state, true); }
void plain_8000_noise(benchmark::State &state) { per_sample<Narrow, Narrow::Plain>(state, false); }
void plain_48000_noise(benchmark::State &state) { per_sample<Wide, Wide::Plain>(state, false); }

BENCHMARK(sync_8000_noise)->Unit(benchmark::kMillisecond);
BENCHMARK(sync_8000_bursts)->Unit(benchmark::kMillisecond);
BENCHMARK(sync_48000_noise)->Unit(benchmark::kMillisecond);
BENCHMARK(sync_48000_bursts)->Unit(benchmark::kMillisecond);
BENCHMARK(plain_8000_noise)->Unit(benchmark::kMillisecond);
BENCHMARK(plain_48000_noise)->Unit(benchmark::kMillisecond);

}

BENCHMARK_MAIN();
