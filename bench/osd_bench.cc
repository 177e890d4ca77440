#include "code/bch_encoder.hh"
#include "code/bch_generator.hh"
#include "code/bch_polynomials.hh"
#include "code/osd.hh"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr int N = 255, K = 71, frames = 64;

struct Setup
{
	int8_t genmat[K * N];
	int8_t soft[frames][N];

	// BPSK frames over AWGN at the given Eb/N0 in dB (per information bit),
	// quantised like the receiver's soft bits: 64 times the amplitude.
	explicit Setup(float ebn0)
	{
		CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, CODE::bch_255_71_minimal_polynomials);
		std::mt19937 gen(10);
		const float sigma = std::sqrt(N / (2.0f * K * std::pow(10.0f, ebn0 / 10)));
		std::normal_distribution<float> noise(0, sigma);
		for (auto &frame : soft) {
			uint8_t message[9], code[32] = {};
			for (auto &b : message) b = gen();
			CODE::bch_encode(code, message, genmat);
			for (int k = 0; k < N; ++k) {
				float y = (CODE::get_be_bit(code, k) ? -1 : 1) + noise(gen);
				frame[k] = std::clamp(std::nearbyint(64 * y), -128.0f, 127.0f);
			}
		}
	}
};

void osd_call(benchmark::State &state)
{
	static Setup setup(state.range(0) / 10.0f);
	static CODE::OrderedStatisticsDecoder<N, K, 2> osd;
	uint8_t hard[32];
	int n = 0;
	for (auto _ : state) {
		benchmark::DoNotOptimize(osd(hard, setup.soft[n], setup.genmat));
		benchmark::ClobberMemory();
		n = (n + 1) % frames;
	}
}
// Argument: Eb/N0 in tenths of a dB.
BENCHMARK(osd_call)->Arg(30)->Unit(benchmark::kMicrosecond);

void generator_matrix(benchmark::State &state)
{
	static int8_t genmat[K * N];
	for (auto _ : state) {
		CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, CODE::bch_255_71_minimal_polynomials);
		benchmark::ClobberMemory();
	}
}
BENCHMARK(generator_matrix)->Unit(benchmark::kMicrosecond);

}

BENCHMARK_MAIN();
