// Time per decode of the payload polar code at each rate, with the native and
// the portable SIMD lanes side by side. Frames are BPSK over AWGN at 2.5 dB
// Eb/N0, where nearly every frame decodes at the two lower rates and some fail
// at K = 1360 (a failed frame checks the CRC of all 16 paths).

#include "bench/polar_frames.hh"
#include "src/polar_decoder.hh"
#include "src/polar_tables.hh"

#include <benchmark/benchmark.h>

#include <memory>

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
	PolarFrames source(table(K), K, 2.5f, 3.0f, K);
	for (auto &code : codes) {
		source.next();
		std::copy(source.code, source.code + PolarFrames::N, code);
	}
	auto decoder = std::make_unique<PolarDecoder<signed char, ISA>>();
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

BENCHMARK(polar_decode<NativeISA>)->Arg(680)->Arg(1024)->Arg(1360)->Unit(benchmark::kMicrosecond);
BENCHMARK(polar_decode<PortableISA>)->Arg(680)->Arg(1024)->Arg(1360)->Unit(benchmark::kMicrosecond);

}

BENCHMARK_MAIN();
