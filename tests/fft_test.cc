#include "dsp/complex.hh"
#include "dsp/fft.hh"

#include <numbers>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

using cmplx = DSP::Complex<float>;

namespace {

template <int B, int S>
struct Case
{
	static constexpr int bins = B, sign = S;
};

template <typename C>
struct Transform : testing::Test
{
	static constexpr int N = C::bins, sign = C::sign;
	template <int S>
	using FFT = DSP::FastFourierTransform<N, cmplx, S>;
	std::unique_ptr<FFT<sign>> fft = std::make_unique<FFT<sign>>();
	std::unique_ptr<FFT<-sign>> inverse = std::make_unique<FFT<-sign>>();
	std::vector<cmplx> in = std::vector<cmplx>(N), out = in, back = in;
};

// The receiver's six lengths in both directions, and short chains that take the other paths through
// the stages: a lone leaf (8), leaves under an odd radix (24, 120), every power-of-two split.
using Cases = testing::Types<Case<640, -1>, Case<640, 1>, Case<720, -1>, Case<720, 1>, Case<1280, -1>,
			     Case<1280, 1>, Case<3840, -1>, Case<3840, 1>, Case<4320, -1>, Case<4320, 1>,
			     Case<7680, -1>, Case<7680, 1>, Case<8, -1>, Case<24, 1>, Case<120, -1>,
			     Case<512, 1>, Case<256, -1>, Case<32, 1>>;

}

TYPED_TEST_SUITE(Transform, Cases);

// Noise against a direct transform in double: errors relative to the input's root energy stay near
// float rounding (RMS over the bins); back through the opposite direction gives N times the input.
TYPED_TEST(Transform, MatchesDirectTransformAndRoundTrips)
{
	constexpr int N = TestFixture::N;
	std::mt19937 gen(N);
	std::uniform_real_distribution<float> dist(-1, 1);
	double energy = 0, worst = 0, total = 0;
	for (cmplx &x : this->in) {
		x = cmplx(dist(gen), dist(gen));
		energy += double(x.re) * x.re + double(x.im) * x.im;
	}
	(*this->fft)(this->out.data(), this->in.data());
	(*this->inverse)(this->back.data(), this->out.data());
	std::vector<std::complex<double>> w(N);
	for (int k = 0; k < N; ++k) w[k] = std::polar(1.0, TestFixture::sign * 2 * std::numbers::pi * k / N);
	for (int k = 0; k < N; ++k) {
		std::complex<double> sum = 0;
		for (int n = 0, j = 0; n < N; ++n, j = (j + k) % N)
			sum += std::complex<double>(this->in[n].re, this->in[n].im) * w[j];
		double e = std::abs(std::complex<double>(this->out[k].re, this->out[k].im) - sum);
		worst = std::max(worst, e);
		total += e * e;
	}
	EXPECT_LT(worst / std::sqrt(energy), 2e-6);
	EXPECT_LT(std::sqrt(total / N / energy), 4e-7);
	for (int n = 0; n < N; ++n) {
		EXPECT_NEAR(this->back[n].re / N, this->in[n].re, 2e-6) << n;
		EXPECT_NEAR(this->back[n].im / N, this->in[n].im, 2e-6) << n;
	}
}

// An impulse at zero gives exactly ones, and those exactly N in bin zero.
TYPED_TEST(Transform, ImpulseAtZeroIsExactlyFlat)
{
	this->in[0] = cmplx(1, 0);
	(*this->fft)(this->out.data(), this->in.data());
	for (cmplx y : this->out) ASSERT_EQ(y, cmplx(1, 0));
	(*this->fft)(this->back.data(), this->out.data());
	EXPECT_EQ(this->back[0], cmplx(TestFixture::N, 0));
}
