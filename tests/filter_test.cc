#include "dsp/coeffs.hh"
#include "dsp/dc_blocker.hh"
#include "dsp/hann.hh"
#include "dsp/hilbert.hh"
#include "dsp/kahan.hh"
#include "dsp/kaiser.hh"
#include "dsp/low_pass.hh"

#include <bit>
#include <cmath>
#include <complex>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace {

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

}

TEST(Kahan, KeepsWhatPlainAdditionLoses)
{
	DSP::Kahan<float> acc(1.f);
	acc(1e-8f);
	EXPECT_EQ(acc.sum, 1.f);
	EXPECT_EQ(acc.compensation, -1e-8f);
	float plain = 1.f;
	for (int i = 1; i < 1000000; ++i) {
		acc(1e-8f);
		plain += 1e-8f;
	}
	EXPECT_EQ(plain, 1.f);
	EXPECT_NEAR(acc.sum, 1.01f, 1e-7f);
}

TEST(Kaiser, BesselSeries)
{
	EXPECT_EQ(DSP::Kaiser<float>::i0(0.f), 1.f);
	EXPECT_NEAR(DSP::Kaiser<float>::i0(DSP::Kaiser<float>::beta), 87.11f, 0.005f);
	for (float x = 0; x < 20; x += 0.37f)
		EXPECT_NEAR(DSP::Kaiser<float>::i0(x) / std::cyl_bessel_i(0.0, double(x)), 1.0, 1e-6) << x;
}

TEST(Kaiser, WindowFollowsTheBesselRatio)
{
	DSP::Kaiser<float> w;
	for (int taps : {33, 197}) {
		EXPECT_EQ(w((taps - 1) / 2, taps), 1.f);
		for (int n = 0; n < taps; ++n) {
			double r = 2.0 * n / (taps - 1) - 1;
			double exact = std::cyl_bessel_i(0.0, 2 * M_PI * std::sqrt(1 - r * r)) /
				       std::cyl_bessel_i(0.0, 2 * M_PI);
			EXPECT_NEAR(w(n, taps), exact, 2e-6) << n;
		}
	}
}

TEST(Hann, ZeroAtTheEndsOneInTheMiddle)
{
	DSP::Hann<float> w;
	for (int taps : {33, 1440, 8640}) {
		EXPECT_EQ(w(0, taps), 0.f);
		EXPECT_EQ(w(taps - 1, taps), 0.f);
		if (taps % 2) {
			EXPECT_EQ(w(taps / 2, taps), 1.f);
		}
		for (int i = 0; i < taps; ++i) EXPECT_NEAR(w(i, taps), w(taps - 1 - i, taps), 6e-8f) << i;
	}
}

namespace {

template <int T, int D>
struct Design
{
	static constexpr int taps = T, denominator = D;
};

template <typename C>
struct LowPass : testing::Test
{
	static constexpr int taps = C::taps, denominator = C::denominator;
	DSP::Hann<float> window;
	DSP::LowPass2<float> response{1, denominator};

	template <bool NORMALIZE>
	auto design() { return std::make_unique<DSP::Coeffs<taps, float, NORMALIZE>>(&window, &response); }
};

using Designs = testing::Types<Design<1440, 1280>, Design<8640, 7680>>;
TYPED_TEST_SUITE(LowPass, Designs);

}

TYPED_TEST(LowPass, ScaleIsTwiceTheCutoff)
{
	EXPECT_EQ(this->response.scale, float(2.0 / TestFixture::denominator));
}

TYPED_TEST(LowPass, NormalisedTableIsSymmetricWithUnitSum)
{
	constexpr int N = TestFixture::taps;
	auto c = this->template design<true>();
	EXPECT_EQ((*c)[0], 0.f);
	EXPECT_EQ((*c)[N - 1], 0.f);
	double sum = 0;
	for (int i = 0; i < N; ++i) {
		EXPECT_EQ((*c)[i], (*c)[N - 1 - i]) << i;
		sum += (*c)[i];
	}
	EXPECT_NEAR(sum, 1.0, 1e-5);
	EXPECT_EQ(c->data()[N / 2], (*c)[N / 2]);
}

TYPED_TEST(LowPass, RawSumAndNormalisation)
{
	constexpr int N = TestFixture::taps;
	auto raw = this->template design<false>();
	auto c = this->template design<true>();
	float sum = 0;
	for (int i = 0; i < N; ++i) sum += (*raw)[i];
	EXPECT_NEAR(sum, N == 1440 ? 0.8716f : 0.8718f, 1e-4f);
	for (int i = 0; i < N; ++i) EXPECT_EQ((*c)[i], (*raw)[i] / sum) << i;
}

TYPED_TEST(LowPass, PassesTheCutoffBandAndStopsAbove)
{
	// Cutoff 1/denominator of the rate: the symbol's carrier spacing.
	constexpr int N = TestFixture::taps, D = TestFixture::denominator;
	auto c = this->template design<true>();
	auto gain = [&](double cycles_per_sample) {
		std::complex<double> sum = 0;
		for (int i = 0; i < N; ++i)
			sum += double((*c)[i]) * std::polar(1.0, -2 * M_PI * cycles_per_sample * i);
		return std::abs(sum);
	};
	// Both designs span 9/8 of a cutoff period, so their shapes agree.
	EXPECT_NEAR(gain(0), 1.0, 1e-5);
	EXPECT_NEAR(gain(0.5 / D), 0.876, 0.005);
	EXPECT_NEAR(gain(1.0 / D), 0.579, 0.005);
	EXPECT_LT(gain(2.0 / D), 0.08);
	EXPECT_LT(gain(4.0 / D), 2e-3);
	EXPECT_LT(gain(8.0 / D), 1e-4);
	EXPECT_LT(gain(0.25), 1e-7);
}

namespace {

template <int T>
struct Taps
{
	static constexpr int taps = T;
};

template <typename C>
struct HilbertStage : testing::Test
{
	static constexpr int taps = C::taps, K = (taps - 1) / 4, H = (taps - 1) / 2;
	DSP::Hilbert<float, taps> hilbert;
};

using HilbertSizes = testing::Types<Taps<33>, Taps<197>>;
TYPED_TEST_SUITE(HilbertStage, HilbertSizes);

}

TYPED_TEST(HilbertStage, TapsAreWindowedTwoOverKPi)
{
	constexpr int N = TestFixture::taps, K = TestFixture::K, H = TestFixture::H;
	auto &h = this->hilbert;
	EXPECT_EQ(h.centre(), 1.f);
	EXPECT_NEAR(h.tap(0), N == 33 ? 0.6295f : 0.6364f, 1e-4f);
	DSP::Kaiser<float> window;
	for (int j = 0; j < K; ++j) {
		int k = 2 * j + 1;
		EXPECT_NEAR(h.tap(j), 2 / (k * M_PI) * window(H + k, N), 1e-7) << j;
		if (j) {
			EXPECT_LT(h.tap(j), h.tap(j - 1)) << j;
		}
	}
}

TYPED_TEST(HilbertStage, MatchesTheShiftingDelayLine)
{
	// Reference: a delay line that shifts on every sample.
	constexpr int N = TestFixture::taps, K = TestFixture::K, H = TestFixture::H;
	auto &h = this->hilbert;
	float d[N] = {};
	std::mt19937 gen(N);
	std::uniform_real_distribution<float> dist(-1, 1);
	for (int n = 0; n < 3000; ++n) {
		float y = dist(gen), sum = 0;
		for (int k = 0; k < K; ++k) sum += h.tap(k) * (d[H - 1 - 2 * k] - d[H + 1 + 2 * k]);
		DSP::Complex<float> expect(h.centre() * d[H], sum), got = h(y);
		ASSERT_EQ(bits(got.re), bits(expect.re)) << n;
		ASSERT_EQ(bits(got.im), bits(expect.im)) << n;
		for (int i = 0; i + 1 < N; ++i) d[i] = d[i + 1];
		d[N - 1] = y;
	}
}

TYPED_TEST(HilbertStage, BlockFormEqualsSingleSamples)
{
	constexpr int N = TestFixture::taps;
	auto &single = this->hilbert;
	DSP::Hilbert<float, N> block;
	std::mt19937 gen(N + 1);
	std::uniform_real_distribution<float> dist(-1, 1);
	std::vector<float> in(4000);
	for (auto &x : in) x = dist(gen);
	std::vector<DSP::Complex<float>> got(in.size());
	int at = 0;
	// Odd and large block sizes cross the moves of the delay line at every phase.
	for (int count : {1, 2, 15, 16, 17, 33, 160, 255, 256, 257, 960, 1000, 7, 0}) {
		block(got.data() + at, in.data() + at, count);
		at += count;
	}
	ASSERT_LE(at, int(in.size()));
	for (int n = 0; n < at; ++n) {
		DSP::Complex<float> expect = single(in[n]);
		ASSERT_EQ(bits(got[n].re), bits(expect.re)) << n;
		ASSERT_EQ(bits(got[n].im), bits(expect.im)) << n;
	}
}

TYPED_TEST(HilbertStage, QuarterRateSineTurnsForward)
{
	constexpr int N = TestFixture::taps;
	auto &h = this->hilbert;
	DSP::DCBlocker<float> dc;
	dc.samples(N);
	std::vector<std::complex<float>> z;
	for (int n = 0; n < 40 * N; ++n) {
		auto c = h(dc(0.5f * DSP::UnitCircle<float>::sin(n % 4, 4)));
		z.emplace_back(c.re, c.im);
	}
	// After the blocker has settled: constant magnitude, +90° per sample.
	for (int n = 30 * N; n + 1 < 40 * N; ++n) {
		EXPECT_NEAR(std::abs(z[n]), 0.5f, 0.01f) << n;
		EXPECT_NEAR(std::arg(z[n + 1] * std::conj(z[n])), M_PI / 2, 0.01) << n;
	}
}

TEST(DCBlocker, FieldsAndDefaults)
{
	DSP::DCBlocker<float> dc;
	EXPECT_EQ(offsetof(DSP::DCBlocker<float>, gain), 3 * sizeof(float));
	EXPECT_EQ(sizeof(dc), 4 * sizeof(float));
	EXPECT_EQ(dc.pole, 0.f);
	EXPECT_EQ(dc.gain, 0.5f);
	for (auto [n, pole, gain] : {std::tuple{33, 32 / 33., 65 / 66.}, {197, 196 / 197., 393 / 394.}}) {
		dc.samples(n);
		EXPECT_EQ(dc.pole, float(pole));
		EXPECT_EQ(dc.gain, float(gain));
	}
}

TEST(DCBlocker, BlocksDcPassesNyquist)
{
	for (int n : {33, 197}) {
		DSP::DCBlocker<float> dc, nyquist;
		dc.samples(n);
		nyquist.samples(n);
		float y = 0, z = 0;
		for (int i = 0; i < 100 * n; ++i) {
			y = dc(0.25f);
			z = nyquist(i % 2 ? -0.25f : 0.25f);
		}
		EXPECT_LT(std::abs(y), 1e-6f) << n;
		EXPECT_NEAR(std::abs(z), 0.25f, 1e-5f) << n;
	}
}
