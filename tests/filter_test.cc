#include "dsp/coeffs.hh"
#include "dsp/dc_blocker.hh"
#include "dsp/hann.hh"
#include "dsp/hilbert.hh"
#include "dsp/kahan.hh"
#include "dsp/kaiser.hh"
#include "dsp/low_pass.hh"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

namespace {

std::uint32_t bits(float x)
{
	return std::bit_cast<std::uint32_t>(x);
}

// One step keeps the lost part in the compensation; a million steps keep what plain addition loses.
TEST(Kahan, KeepsWhatPlainAdditionLoses)
{
	DSP::Kahan<float> acc(1.f);
	acc(1e-8f);
	EXPECT_EQ(acc.sum, 1.f);
	EXPECT_EQ(acc.compensation, -1e-8f);
	float plain = 1.f;
	for (int i = 1; i < 1000000; ++i) acc(1e-8f), plain += 1e-8f;
	EXPECT_EQ(plain, 1.f);
	EXPECT_NEAR(acc.sum, 1.01f, 1e-7f);
}

// The Bessel series against the library function, and the window as the ratio it defines, exactly 1 in the
// middle.
TEST(Kaiser, BesselSeriesAndWindow)
{
	using K = DSP::Kaiser<float>;
	EXPECT_EQ(K::i0(0.f), 1.f);
	EXPECT_NEAR(K::i0(K::beta), 87.11f, 0.005f);
	for (float x = 0; x < 20; x += 0.37f)
		EXPECT_NEAR(K::i0(x) / std::cyl_bessel_i(0.0, double(x)), 1.0, 1e-6) << x;
	K w;
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

// Zero at both ends, one in the middle of an odd length, symmetric.
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

template <int T, int D> struct Design
{
	static constexpr int taps = T, denominator = D;
};

template <typename C> struct LowPass : testing::Test
{
	static constexpr int N = C::taps, D = C::denominator;
	DSP::Hann<float> window;
	DSP::LowPass2<float> response{1, D};
	std::unique_ptr<DSP::Coeffs<N, float, false>> raw =
	    std::make_unique<DSP::Coeffs<N, float, false>>(&window, &response);
	std::unique_ptr<DSP::Coeffs<N, float, true>> c =
	    std::make_unique<DSP::Coeffs<N, float, true>>(&window, &response);
};

using Designs = testing::Types<Design<1440, 1280>, Design<8640, 7680>>;
TYPED_TEST_SUITE(LowPass, Designs);

// Scale twice the cutoff; the normalised table is the raw one divided by its float sum, symmetric with zero
// ends and unit sum.
TYPED_TEST(LowPass, NormalisedTableIsSymmetricWithUnitSum)
{
	constexpr int N = TestFixture::N;
	auto &c = *this->c, &raw = *this->raw;
	EXPECT_EQ(this->response.scale, float(2.0 / TestFixture::D));
	float raw_sum = 0;
	for (int i = 0; i < N; ++i) raw_sum += raw[i];
	EXPECT_NEAR(raw_sum, N == 1440 ? 0.8716f : 0.8718f, 1e-4f);
	double sum = 0;
	for (int i = 0; i < N; ++i) {
		EXPECT_EQ(c[i], raw[i] / raw_sum) << i;
		EXPECT_EQ(c[i], c[N - 1 - i]) << i;
		sum += c[i];
	}
	EXPECT_EQ(c[0], 0.f);
	EXPECT_NEAR(sum, 1.0, 1e-5);
	EXPECT_EQ(c.data()[N / 2], c[N / 2]);
}

// Cutoff 1/denominator of the rate, the symbol's carrier spacing. Both designs span 9/8 of a cutoff period,
// so their shapes agree.
TYPED_TEST(LowPass, PassesTheCutoffBandAndStopsAbove)
{
	constexpr int N = TestFixture::N, D = TestFixture::D;
	auto gain = [&](double cycles_per_sample) {
		std::complex<double> sum = 0;
		for (int i = 0; i < N; ++i)
			sum += double((*this->c)[i]) * std::polar(1.0, -2 * M_PI * cycles_per_sample * i);
		return std::abs(sum);
	};
	EXPECT_NEAR(gain(0), 1.0, 1e-5);
	EXPECT_NEAR(gain(0.5 / D), 0.876, 0.005);
	EXPECT_NEAR(gain(1.0 / D), 0.579, 0.005);
	EXPECT_LT(gain(2.0 / D), 0.08);
	EXPECT_LT(gain(4.0 / D), 2e-3);
	EXPECT_LT(gain(8.0 / D), 1e-4);
	EXPECT_LT(gain(0.25), 1e-7);
}

template <int T> struct Taps
{
	static constexpr int taps = T;
};

template <typename C> struct HilbertStage : testing::Test
{
	static constexpr int N = C::taps, K = (N - 1) / 4, H = (N - 1) / 2;
	DSP::Hilbert<float, N> hilbert;
};

using HilbertSizes = testing::Types<Taps<33>, Taps<197>>;
TYPED_TEST_SUITE(HilbertStage, HilbertSizes);

// Odd taps 2/(kπ) under the Kaiser window, falling, and a centre tap of 1.
TYPED_TEST(HilbertStage, TapsAreWindowedTwoOverKPi)
{
	constexpr int N = TestFixture::N, K = TestFixture::K, H = TestFixture::H;
	auto &h = this->hilbert;
	EXPECT_EQ(h.centre(), 1.f);
	EXPECT_NEAR(h.tap(0), N == 33 ? 0.6295f : 0.6364f, 1e-4f);
	DSP::Kaiser<float> window;
	for (int j = 0; j < K; ++j) {
		EXPECT_NEAR(h.tap(j), 2 / ((2 * j + 1) * M_PI) * window(H + 2 * j + 1, N), 1e-7) << j;
		if (j) {
			EXPECT_LT(h.tap(j), h.tap(j - 1)) << j;
		}
	}
}

// Sample by sample and in blocks of every size (odd and large ones cross the moves of the delay line at every
// phase), the stage gives bit for bit what a delay line that shifts on every sample gives.
TYPED_TEST(HilbertStage, SingleAndBlockFormsMatchTheShiftingDelayLine)
{
	constexpr int N = TestFixture::N, K = TestFixture::K, H = TestFixture::H;
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
	float d[N] = {};
	for (int n = 0; n < at; ++n) {
		float sum = 0;
		for (int k = 0; k < K; ++k) sum += single.tap(k) * (d[H - 1 - 2 * k] - d[H + 1 + 2 * k]);
		DSP::Complex<float> expect(single.centre() * d[H], sum), one = single(in[n]);
		ASSERT_TRUE(bits(one.re) == bits(expect.re) && bits(one.im) == bits(expect.im))
		    << "single " << n;
		ASSERT_TRUE(bits(got[n].re) == bits(expect.re) && bits(got[n].im) == bits(expect.im))
		    << "block " << n;
		std::copy(d + 1, d + N, d);
		d[N - 1] = in[n];
	}
}

// A quarter-rate sine through the DC blocker and the stage: after the blocker has settled, constant magnitude
// and +90° per sample.
TYPED_TEST(HilbertStage, QuarterRateSineTurnsForward)
{
	constexpr int N = TestFixture::N;
	DSP::DCBlocker<float> dc;
	dc.samples(N);
	std::vector<std::complex<float>> z;
	for (int n = 0; n < 40 * N; ++n) {
		auto c = this->hilbert(dc(0.5f * DSP::UnitCircle<float>::sin(n % 4, 4)));
		z.emplace_back(c.re, c.im);
	}
	for (int n = 30 * N; n + 1 < 40 * N; ++n) {
		EXPECT_NEAR(std::abs(z[n]), 0.5f, 0.01f) << n;
		EXPECT_NEAR(std::arg(z[n + 1] * std::conj(z[n])), M_PI / 2, 0.01) << n;
	}
}

// Four floats, gain last; 0 and 1/2 before samples(), then the nearest floats of 1 - 1/n and (1 + pole)/2; DC
// is blocked and the Nyquist frequency passes.
TEST(DCBlocker, FieldsDefaultsAndResponse)
{
	DSP::DCBlocker<float> fresh;
	EXPECT_EQ(offsetof(DSP::DCBlocker<float>, gain), 3 * sizeof(float));
	EXPECT_EQ(sizeof(fresh), 4 * sizeof(float));
	EXPECT_EQ(fresh.pole, 0.f);
	EXPECT_EQ(fresh.gain, 0.5f);
	for (auto [n, pole, gain] : {std::tuple{33, 32 / 33., 65 / 66.}, {197, 196 / 197., 393 / 394.}}) {
		DSP::DCBlocker<float> dc, nyquist;
		dc.samples(n);
		nyquist.samples(n);
		EXPECT_EQ(dc.pole, float(pole));
		EXPECT_EQ(dc.gain, float(gain));
		float y = 0, z = 0;
		for (int i = 0; i < 100 * n; ++i) y = dc(0.25f), z = nyquist(i % 2 ? -0.25f : 0.25f);
		EXPECT_LT(std::abs(y), 1e-6f) << n;
		EXPECT_NEAR(std::abs(z), 0.25f, 1e-5f) << n;
	}
}

}
