#include "dsp/complex.hh"
#include "dsp/fft.hh"

#include <benchmark/benchmark.h>
#include <memory>
#include <random>
#include <vector>

#ifdef HAVE_FFTW
#include <fftw3.h>
#endif

// Forward transforms of the receiver's six lengths, ours beside FFTW's
// single-precision complex transform of the same length (FFTW_MEASURE).

namespace {

using cmplx = DSP::Complex<float>;

std::vector<cmplx> noise(int n)
{
	std::mt19937 gen(n);
	std::uniform_real_distribution<float> dist(-1, 1);
	std::vector<cmplx> v(n);
	for (auto &x : v) x = cmplx(dist(gen), dist(gen));
	return v;
}

template <int BINS>
void ours(benchmark::State &state)
{
	auto fft = std::make_unique<DSP::FastFourierTransform<BINS, cmplx, -1>>();
	std::vector<cmplx> in = noise(BINS), out(BINS);
	for (auto _ : state) {
		(*fft)(out.data(), in.data());
		benchmark::DoNotOptimize(out.data());
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(state.iterations());
}

#ifdef HAVE_FFTW
template <int BINS>
void fftw(benchmark::State &state)
{
	auto *in = fftwf_alloc_complex(BINS), *out = fftwf_alloc_complex(BINS);
	fftwf_plan plan = fftwf_plan_dft_1d(BINS, in, out, FFTW_FORWARD, FFTW_MEASURE);
	std::vector<cmplx> data = noise(BINS);
	for (int i = 0; i < BINS; ++i) {
		in[i][0] = data[i].re;
		in[i][1] = data[i].im;
	}
	for (auto _ : state) {
		fftwf_execute(plan);
		benchmark::DoNotOptimize(out);
		benchmark::ClobberMemory();
	}
	state.SetItemsProcessed(state.iterations());
	fftwf_destroy_plan(plan);
	fftwf_free(in);
	fftwf_free(out);
}
#define PAIR(n) BENCHMARK(ours<n>); BENCHMARK(fftw<n>);
#else
#define PAIR(n) BENCHMARK(ours<n>);
#endif

PAIR(640)
PAIR(720)
PAIR(1280)
PAIR(3840)
PAIR(4320)
PAIR(7680)

}

BENCHMARK_MAIN();
