// Time per decode of the payload polar code at each rate, with the native and
// the portable SIMD lanes side by side. Frames are BPSK over AWGN at 2.5 dB
// Eb/N0, where the highest rate reaches a frame error rate of about 1e-3 and
// every frame takes the whole list: all 32 frames decode at each rate (the
// "failed" counter says so). At 6 dB, as bursts received well above the
// noise, the hard-decision path answers for most frames. A pass of the soft
// cancellation decoder, as a turbo pass takes it, is timed on frames at
// 1.5 dB, near the code's threshold.

#include "bench/polar_frames.hh"
#include "code/polar_decoder.hh"
#include "code/polar_soft_decoder.hh"
#include "code/polar_tables.hh"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int frames = 32;

const unsigned int *table(int K)
{
	return K == 680 ? frozen_2048_712 : K == 1024 ? frozen_2048_1056 : frozen_2048_1392;
}

template <typename ISA>
void polar_decode(benchmark::State &state)
{
	const int K = state.range(0);
	static signed char codes[frames][PolarFrames::N];
	PolarFrames source(table(K), K, state.range(1) / 10.0f, 3.0f, K);
	for (auto &code : codes) {
		source.next();
		std::copy(source.code, source.code + PolarFrames::N, code);
	}
	auto decoder = std::make_unique<CODE::PolarDecoder<signed char, ISA>>();
	uint8_t message[PolarFrames::N / 8];
	int n = 0, failed = 0;
	for (auto _ : state) {
		int flips = (*decoder)(message, codes[n], table(K), K);
		benchmark::DoNotOptimize(flips);
		failed += flips < 0;
		n = (n + 1) % frames;
	}
	state.counters["failed"] = benchmark::Counter(failed, benchmark::Counter::kAvgIterations);
}

// One information leaf: 32 candidates, selection of the best 16 with
// introselect (the moves of libstdc++'s nth_element), lane map and decisions. Metrics within 300 of each other
// and soft bits that mostly agree across lanes stand in for a list in the
// waterfall region; a decode at K = 1360 runs 1392 leaves.
template <typename ISA>
void information_leaf(benchmark::State &state)
{
	using VEC = SIMD<signed char, 16, ISA>;
	using MAP = SIMD<unsigned char, 16, ISA>;
	constexpr int inputs = 1024;
	static int metrics[inputs][16];
	static VEC soft[inputs][2];
	std::mt19937 rng(9);
	for (int n = 0; n < inputs; ++n) {
		signed char L[16];
		int common = int(rng() % 256) - 128;
		for (int k = 0; k < 16; ++k) {
			metrics[n][k] = 5000 + rng() % 300;
			L[k] = std::clamp(common + int(rng() % 41) - 20, -128, 127);
		}
		soft[n][1] = VEC::load(L);
	}
	VEC mesg[1], hard[1];
	MAP maps[1];
	int n = 0;
	for (auto _ : state) {
		int metric[16], count = 0;
		std::copy(metrics[n], metrics[n] + 16, metric);
		MAP map = CODE::PolarListNode<VEC, 0>::rate1(metric, mesg, maps, &count, hard, soft[n]);
		benchmark::DoNotOptimize(map);
		n = (n + 1) % inputs;
	}
}

void soft_pass(benchmark::State &state)
{
	const int K = state.range(0);
	PolarFrames source(table(K), K, 1.5f, 3.0f, K);
	source.next();
	std::vector<float> channel(PolarFrames::N), out(PolarFrames::N);
	for (int i = 0; i < PolarFrames::N; ++i) channel[i] = source.code[i] / 3.0f;
	auto soft = std::make_unique<CODE::PolarSoftDecoder>();
	soft->reset(table(K));
	for (auto _ : state) {
		(*soft)(out.data(), channel.data());
		benchmark::DoNotOptimize(out.data());
	}
}

BENCHMARK(soft_pass)->Arg(680)->Arg(1024)->Arg(1360)->Unit(benchmark::kMicrosecond);
BENCHMARK(information_leaf<NativeISA>)->Unit(benchmark::kNanosecond);
BENCHMARK(information_leaf<PortableISA>)->Unit(benchmark::kNanosecond);
BENCHMARK(polar_decode<NativeISA>)->ArgsProduct({{680, 1024, 1360}, {25, 60}})->Unit(benchmark::kMicrosecond);
BENCHMARK(polar_decode<PortableISA>)->ArgsProduct({{680, 1024, 1360}, {25, 60}})->Unit(benchmark::kMicrosecond);

}

BENCHMARK_MAIN();
