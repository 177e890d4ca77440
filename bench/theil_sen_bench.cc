// Time per straight-line fit of the receiver's phase errors: one per data
// symbol, 256 carriers (32640 pairs). The points follow a residual phase
// slope with Gaussian phase noise, a few carriers missing, as a symbol at
// moderate SNR gives them.

#include "dsp/theil_sen.hh"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {

constexpr int carriers = 256, symbols = 64;

struct Points
{
	float x[symbols][carriers], y[symbols][carriers];
	int n[symbols];

	explicit Points(float noise)
	{
		std::mt19937 gen(3);
		std::normal_distribution<float> phase(0, noise);
		std::uniform_real_distribution<float> uniform(-1, 1);
		for (int s = 0; s < symbols; ++s) {
			float slope = 0.002f * uniform(gen), offset = 0.1f * uniform(gen);
			n[s] = 0;
			for (int k = 0; k < carriers; ++k) {
				if (gen() % 64 == 0) continue;
				x[s][n[s]] = float(k - 128);
				y[s][n[s]] = offset + slope * float(k - 128) + phase(gen);
				++n[s];
			}
		}
	}
};

void theil_sen_fit(benchmark::State &state)
{
	static Points points(0.01f * float(state.range(0)));
	auto tse = std::make_unique<DSP::TheilSenEstimator<float, carriers>>();
	int s = 0;
	for (auto _ : state) {
		tse->compute(points.x[s], points.y[s], points.n[s]);
		benchmark::DoNotOptimize(tse->slope);
		s = (s + 1) % symbols;
	}
}

}

// Argument: phase noise in hundredths of a radian.
BENCHMARK(theil_sen_fit)->Arg(5)->Arg(20)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
