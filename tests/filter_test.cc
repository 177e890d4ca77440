#include "dsp/coeffs.hh"
#include "dsp/dc_blocker.hh"
#include "dsp/hann.hh"
#include "dsp/hilbert.hh"
#include "dsp/kaiser.hh"
#include "dsp/low_pass.hh"

#include <numbers>
#include <bit>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace {

// The Bessel series and the window against the library function.
TEST(Kaiser, BesselSeriesAndWindow)
{
	using K = DSP::Kaiser<float>;
	for (float x = 0; x < 20; x += 0.37f)
		EXPECT_NEAR(K::i0(x) / std::cyl_bessel_i(0.0, double(x)), 1.0, 1e-6) << x;
	K w;
	for (int taps : {33, 197}) {
		for (int n = 0; n < taps; ++n) {
			double r = 2.0 * n / (taps - 1) - 1;
			double exact = std::cyl_bessel_i(0.0, 2 * std::numbers::pi * std::sqrt(1 - r * r)) /
				       std::cyl_bessel_i(0.0, 2 * std::numbers::pi);
			EXPECT_NEAR(w(n, taps), exact, 2e-6) << n;
		}
	}
}

TEST(Hann, RaisedCosine)
{
	DSP::Hann<float> w;
	for (int taps : {33, 1440, 8640})
		for (int i = 0; i < taps; ++i)
			EXPECT_NEAR(w(i, taps), 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (taps - 1)), 1e-7) << i;
}

template <int T, int D>
struct Design
{
	static constexpr int taps = T, denominator = D;
};

template <typename C>
struct LowPass : testing::Test
{
};

using Designs = testing::Types<Design<1440, 1280>, Design<8640, 7680>>;
TYPED_TEST_SUITE(LowPass, Designs);

// Cutoff 1/denominator of the rate, the carrier spacing; both designs span 9/8 of a cutoff period, so
// their shapes agree: unit gain at 0 Hz, the band passed and everything above stopped.
TYPED_TEST(LowPass, PassesTheCutoffBandAndStopsAbove)
{
	constexpr int N = TypeParam::taps, D = TypeParam::denominator;
	DSP::Hann<float> window;
	DSP::LowPass2<float> response{1, D};
	auto c = std::make_unique<DSP::Coeffs<N, float, true>>(&window, &response);
	auto gain = [&](double f) { // f in cycles per sample
		std::complex<double> sum = 0;
		for (int i = 0; i < N; ++i) sum += double((*c)[i]) * std::polar(1.0, -2 * std::numbers::pi * f * i);
		return std::abs(sum);
	};
	EXPECT_NEAR(gain(0), 1.0, 1e-5);
	EXPECT_NEAR(gain(0.5 / D), 0.876, 0.005);
	EXPECT_NEAR(gain(1.0 / D), 0.579, 0.005);
	EXPECT_LT(gain(2.0 / D), 0.08);
	EXPECT_LT(gain(4.0 / D), 2e-3);
	EXPECT_LT(gain(8.0 / D), 1e-4);
	EXPECT_LT(gain(0.25), 1e-7);
	for (int i = 0; i < N; ++i) EXPECT_EQ((*c)[i], (*c)[N - 1 - i]) << i;
}

template <int T>
struct Taps
{
	static constexpr int taps = T;
};

template <typename C>
struct HilbertStage : testing::Test
{
	static constexpr int N = C::taps;
	DSP::Hilbert<float, N> hilbert;
};

using HilbertSizes = testing::Types<Taps<33>, Taps<197>>;
TYPED_TEST_SUITE(HilbertStage, HilbertSizes);

// Sample by sample and in blocks of every size (crossing the moves of the delay line at every phase),
// bit for bit what a delay line that shifts on every sample gives.
TYPED_TEST(HilbertStage, SingleAndBlockFormsMatchTheShiftingDelayLine)
{
	constexpr int N = TestFixture::N, K = (N - 1) / 4, H = (N - 1) / 2;
	auto &single = this->hilbert;
	DSP::Hilbert<float, N> block;
	std::mt19937 gen(N);
	std::uniform_real_distribution<float> dist(-1, 1);
	std::vector<float> in(4000);
	for (auto &x : in) x = dist(gen);
	std::vector<DSP::Complex<float>> got(in.size());
	int at = 0;
	for (int count : {1, 2, 15, 16, 17, 33, 160, 255, 256, 257, 960, 1000, 7, 0}) {
		block(got.data() + at, in.data() + at, count);
		at += count;
	}
	auto bits = [](DSP::Complex<float> z) {
		return std::pair{std::bit_cast<uint32_t>(z.re), std::bit_cast<uint32_t>(z.im)};
	};
	float d[N] = {};
	for (int n = 0; n < at; ++n) {
		float sum = 0;
		for (int k = 0; k < K; ++k) sum += single.tap(k) * (d[H - 1 - 2 * k] - d[H + 1 + 2 * k]);
		DSP::Complex<float> expect(single.centre() * d[H], sum);
		ASSERT_EQ(bits(single(in[n])), bits(expect)) << "single " << n;
		ASSERT_EQ(bits(got[n]), bits(expect)) << "block " << n;
		std::copy(d + 1, d + N, d);
		d[N - 1] = in[n];
	}
}

// Sines through the DC blocker and the stage: once settled, the sine's magnitude and a turn forward
// by its frequency per sample, at a quarter of the rate and at 1000 Hz.
TYPED_TEST(HilbertStage, SineTurnsForwardAtItsMagnitude)
{
	constexpr int N = TestFixture::N;
	for (double f : {0.25, N == 33 ? 1000 / 8000.0 : 1000 / 48000.0}) {
		DSP::DCBlocker<float> dc;
		DSP::Hilbert<float, N> hilbert;
		dc.samples(N);
		std::vector<std::complex<float>> z;
		for (int n = 0; n < 40 * N; ++n) {
			auto c = hilbert(dc(0.5f * std::sin(2 * std::numbers::pi * f * n)));
			z.emplace_back(c.re, c.im);
		}
		for (int n = 30 * N; n + 1 < 40 * N; ++n) {
			EXPECT_NEAR(std::abs(z[n]), 0.5f, 0.01f) << f;
			EXPECT_NEAR(std::arg(z[n + 1] * std::conj(z[n])), 2 * std::numbers::pi * f, 0.01) << f;
		}
	}
}

// Before samples() the blocker passes half the change; after it DC decays with a time constant of
// n samples and the Nyquist frequency passes unchanged.
TEST(DCBlocker, BlocksDcWithItsTimeConstantAndPassesNyquist)
{
	DSP::DCBlocker<float> fresh;
	EXPECT_EQ(fresh(1.f), 0.5f);
	for (int n : {33, 197}) {
		DSP::DCBlocker<float> dc, nyquist;
		dc.samples(n);
		nyquist.samples(n);
		float y = 0, z = 0;
		for (int i = 0; i <= n; ++i) y = dc(0.25f);
		EXPECT_NEAR(y / 0.25f, std::exp(-1.0), 0.02) << n;
		for (int i = 0; i < 100 * n; ++i) y = dc(0.25f), z = nyquist(i % 2 ? -0.25f : 0.25f);
		EXPECT_LT(std::abs(y), 1e-6f) << n;
		EXPECT_NEAR(std::abs(z), 0.25f, 1e-5f) << n;
	}
}

}
