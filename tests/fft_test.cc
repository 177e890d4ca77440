#include "dsp/complex.hh"
#include "dsp/fft.hh"

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
	// Heap objects: the tables are too large for a comfortable stack.
	template <int S>
	using FFT = DSP::FastFourierTransform<N, cmplx, S>;
	std::unique_ptr<FFT<sign>> fft = std::make_unique<FFT<sign>>();
	std::unique_ptr<FFT<-sign>> inverse = std::make_unique<FFT<-sign>>();
	std::vector<cmplx> in = std::vector<cmplx>(N), out = in, back = in;

	void run()
	{
		(*fft)(out.data(), in.data());
		(*inverse)(back.data(), out.data());
	}
};

// The receiver's six lengths in both directions, and short chains that take
// the other paths through the stages: a lone leaf (8), leaves under an odd
// radix (24, 120) and every power-of-two split (512 = 8·64, 256 = 4·64,
// 32 = 2·16).
using Cases = testing::Types<Case<640, -1>, Case<640, 1>, Case<720, -1>, Case<720, 1>, Case<1280, -1>,
			     Case<1280, 1>, Case<3840, -1>, Case<3840, 1>, Case<4320, -1>, Case<4320, 1>,
			     Case<7680, -1>, Case<7680, 1>, Case<8, -1>, Case<24, 1>, Case<120, -1>,
			     Case<512, 1>, Case<256, -1>, Case<32, 1>>;

}

TYPED_TEST_SUITE(Transform, Cases);

// The twiddle table is the unit circle of the platform-independent kernels,
// bit for bit, turning in the direction of the sign.
TYPED_TEST(Transform, FactorsAreTheUnitCircleWithSign)
{
	constexpr int N = TestFixture::N;
	using Circle = DSP::UnitCircle<float>;
	for (int k = 0; k < N; ++k) {
		EXPECT_EQ(this->fft->factors()[k].re, Circle::cos(k, N)) << k;
		EXPECT_EQ(this->fft->factors()[k].im, TestFixture::sign * Circle::sin(k, N)) << k;
	}
}

// Noise against a direct transform in double with an exact integer phase
// index: errors scale with the input's root energy, and float rounding
// through a handful of stages stays near 1e-7 of it (RMS over the bins).
// Back through the opposite direction it returns N times the input.
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
	this->run();
	std::vector<std::complex<double>> w(N);
	for (int k = 0; k < N; ++k) w[k] = std::polar(1.0, TestFixture::sign * 2 * M_PI * k / N);
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

// An impulse at zero gives exactly ones, and those exactly N in bin zero
// (and next to nothing elsewhere) through the same direction.
TYPED_TEST(Transform, ImpulseAtZeroIsFlatAndFlatIsAnImpulse)
{
	constexpr int N = TestFixture::N;
	this->in[0] = cmplx(1, 0);
	(*this->fft)(this->out.data(), this->in.data());
	for (cmplx y : this->out) ASSERT_EQ(y, cmplx(1, 0));
	(*this->fft)(this->back.data(), this->out.data());
	EXPECT_EQ(this->back[0], cmplx(N, 0));
	for (int k = 1; k < N; ++k) EXPECT_LT(std::hypot(this->back[k].re, this->back[k].im), 1e-3) << k;
}

// An impulse in bin f becomes the tone e^(SIGN·2πi·f·n/N), and that tone
// run through the opposite direction returns N times the impulse.
TYPED_TEST(Transform, ImpulseAndToneAreAPair)
{
	constexpr int N = TestFixture::N, sign = TestFixture::sign;
	for (int f : {1, 7, N / 3, N - 5}) {
		std::fill(this->in.begin(), this->in.end(), cmplx());
		this->in[f] = cmplx(1, 0);
		this->run();
		for (int n = 0; n < N; ++n) {
			double a = sign * 2 * M_PI * double(std::int64_t(f) * n % N) / N;
			ASSERT_NEAR(this->out[n].re, std::cos(a), 1e-5) << f << ' ' << n;
			ASSERT_NEAR(this->out[n].im, std::sin(a), 1e-5) << f << ' ' << n;
		}
		for (int k = 0; k < N; ++k) {
			ASSERT_NEAR(this->back[k].re, k == f ? N : 0, 2e-3 * std::sqrt(N)) << f << ' ' << k;
			ASSERT_NEAR(this->back[k].im, 0, 2e-3 * std::sqrt(N)) << f << ' ' << k;
		}
	}
}
