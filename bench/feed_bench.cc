#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "modem/decoder.hh"

// The receiver's per-sample intake at both rates: DC blocker, Hilbert
// filter, ring and synchronizer, fed in the driver's 20 ms blocks of noise,
// with process() called whenever a period completes.

namespace {

template <int RATE>
void feed(benchmark::State &state)
{
	auto decoder = std::make_unique<Decoder<RATE, 4>>();
	int channel = state.range(0), frames = RATE / 50, width = channel ? 2 : 1;
	std::vector<short> noise(50 * frames * width);
	std::mt19937 rng(RATE);
	std::normal_distribution<float> gauss(0, 3000);
	for (short &s : noise) s = gauss(rng);
	size_t offset = 0;
	for (auto _ : state) {
		if (decoder->feed(noise.data() + offset, frames, channel)) benchmark::DoNotOptimize(decoder->process());
		offset = (offset + frames * width) % noise.size();
	}
	state.SetItemsProcessed(state.iterations() * frames);
	state.counters["realtime"] = benchmark::Counter(double(state.iterations()) * frames / RATE,
							benchmark::Counter::kIsRate);
}

BENCHMARK(feed<8000>)->Arg(0)->Arg(4)->ArgName("channel");
BENCHMARK(feed<48000>)->Arg(0)->Arg(4)->ArgName("channel");

}

BENCHMARK_MAIN();
