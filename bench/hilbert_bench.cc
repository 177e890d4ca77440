#include "dsp/complex.hh"
#include "dsp/hilbert.hh"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

// The intake's Hilbert stage on one driver block (160 samples at 8000 Hz,
// 960 at 48000 Hz): a call per sample against the block form.

namespace {

std::vector<float> noise(int n)
{
	std::mt19937 gen(n);
	std::uniform_real_distribution<float> dist(-1, 1);
	std::vector<float> v(n);
	for (auto &x : v) x = dist(gen);
	return v;
}

template <int TAPS, int BLOCK>
void single(benchmark::State &state)
{
	DSP::Hilbert<float, TAPS> hilbert;
	std::vector<float> in = noise(BLOCK);
	std::vector<DSP::Complex<float>> out(BLOCK);
	for (auto _ : state) {
		for (int i = 0; i < BLOCK; ++i) out[i] = hilbert(in[i]);
		benchmark::DoNotOptimize(out.data());
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(state.iterations() * BLOCK);
}

template <int TAPS, int BLOCK>
void block(benchmark::State &state)
{
	DSP::Hilbert<float, TAPS> hilbert;
	std::vector<float> in = noise(BLOCK);
	std::vector<DSP::Complex<float>> out(BLOCK);
	for (auto _ : state) {
		hilbert(out.data(), in.data(), BLOCK);
		benchmark::DoNotOptimize(out.data());
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(state.iterations() * BLOCK);
}

BENCHMARK(single<33, 160>);
BENCHMARK(block<33, 160>);
BENCHMARK(single<197, 960>);
BENCHMARK(block<197, 960>);

}

BENCHMARK_MAIN();
