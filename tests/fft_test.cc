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
	static constexpr int bins = C::bins, sign = C::sign;
	// Heap objects: the tables are too large for a comfortable stack.
	template <int S>
	using FFT = DSP::FastFourierTransform<bins, cmplx, S>;
	std::unique_ptr<FFT<sign>> fft = std::make_unique<FFT<sign>>();
	std::unique_ptr<FFT<-sign>> inverse = std::make_unique<FFT<-sign>>();
	std::vector<cmplx> in = std::vector<cmplx>(bins), out = std::vector<cmplx>(bins);

	void noise(unsigned seed)
	{
		std::mt19937 gen(seed);
		std::uniform_real_distribution<float> dist(-1, 1);
		for (auto &x : in) x = cmplx(dist(gen), dist(gen));
	}

	double energy() const
	{
		double e = 0;
		for (auto x : in) e += double(x.re) * x.re + double(x.im) * x.im;
		return e;
	}

	// Direct DFT in double with an exact integer phase index.
	std::vector<std::complex<double>> direct() const
	{
		std::vector<std::complex<double>> w(bins), X(bins);
		for (int k = 0; k < bins; ++k) w[k] = std::polar(1.0, sign * 2 * M_PI * k / bins);
		for (int k = 0; k < bins; ++k) {
			std::complex<double> sum = 0;
			for (int n = 0, j = 0; n < bins; ++n, j = (j + k) % bins)
				sum += std::complex<double>(in[n].re, in[n].im) * w[j];
			X[k] = sum;
		}
		return X;
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

struct CaseName
{
	template <typename C>
	static std::string GetName(int)
	{
		return std::to_string(C::bins) + (C::sign < 0 ? "_forward" : "_backward");
	}
};

}

TYPED_TEST_SUITE(Transform, Cases, CaseName);

TYPED_TEST(Transform, FactorsAreTheUnitCircleWithSign)
{
	constexpr int N = TestFixture::bins;
	const cmplx *f = this->fft->factors;
	EXPECT_EQ(f[0], cmplx(1, 0));
	EXPECT_EQ(f[N / 4].im, float(TestFixture::sign));
	EXPECT_EQ(f[N / 2].re, -1.f);
	for (int k = 0; k < N; ++k) {
		EXPECT_EQ(f[k].re, DSP::UnitCircle<float>::cos(k, N));
		EXPECT_EQ(f[k].im, TestFixture::sign * DSP::UnitCircle<float>::sin(k, N));
	}
}

TYPED_TEST(Transform, MatchesDirectTransform)
{
	constexpr int N = TestFixture::bins;
	this->noise(N);
	(*this->fft)(this->out.data(), this->in.data());
	auto X = this->direct();
	// Errors scale with the input's root energy; float rounding through a
	// handful of stages stays near 1e-7 of it (RMS over the bins).
	double scale = std::sqrt(this->energy()), worst = 0, total = 0;
	for (int k = 0; k < N; ++k) {
		double e = std::abs(std::complex<double>(this->out[k].re, this->out[k].im) - X[k]);
		worst = std::max(worst, e);
		total += e * e;
	}
	EXPECT_LT(worst / scale, 2e-6);
	EXPECT_LT(std::sqrt(total / N) / scale, 4e-7);
}

TYPED_TEST(Transform, RoundTripScalesByLength)
{
	constexpr int N = TestFixture::bins;
	this->noise(N + 1);
	std::vector<cmplx> back(N);
	(*this->fft)(this->out.data(), this->in.data());
	(*this->inverse)(back.data(), this->out.data());
	for (int n = 0; n < N; ++n) {
		EXPECT_NEAR(back[n].re / N, this->in[n].re, 2e-6) << n;
		EXPECT_NEAR(back[n].im / N, this->in[n].im, 2e-6) << n;
	}
}

TYPED_TEST(Transform, ImpulseAtZeroIsFlat)
{
	this->in[0] = cmplx(1, 0);
	(*this->fft)(this->out.data(), this->in.data());
	for (auto y : this->out) EXPECT_EQ(y, cmplx(1, 0));
}

TYPED_TEST(Transform, ConstantGoesToBinZero)
{
	constexpr int N = TestFixture::bins;
	for (auto &x : this->in) x = cmplx(1, 0);
	(*this->fft)(this->out.data(), this->in.data());
	EXPECT_EQ(this->out[0], cmplx(N, 0));
	for (int k = 1; k < N; ++k) EXPECT_LT(std::hypot(this->out[k].re, this->out[k].im), 1e-3) << k;
}

TYPED_TEST(Transform, ImpulseAndToneAreAPair)
{
	// An impulse in bin f becomes the tone e^(SIGN·2πi·f·n/N), and that tone
	// run through the opposite direction returns N times the impulse.
	constexpr int N = TestFixture::bins, sign = TestFixture::sign;
	for (int f : {1, 7, N / 3, N - 5}) {
		std::fill(this->in.begin(), this->in.end(), cmplx());
		this->in[f] = cmplx(1, 0);
		(*this->fft)(this->out.data(), this->in.data());
		for (int n = 0; n < N; ++n) {
			double a = sign * 2 * M_PI * double(std::int64_t(f) * n % N) / N;
			ASSERT_NEAR(this->out[n].re, std::cos(a), 1e-5) << f << ' ' << n;
			ASSERT_NEAR(this->out[n].im, std::sin(a), 1e-5) << f << ' ' << n;
		}
		std::vector<cmplx> back(N);
		(*this->inverse)(back.data(), this->out.data());
		for (int k = 0; k < N; ++k) {
			ASSERT_NEAR(back[k].re, k == f ? N : 0, 2e-3 * std::sqrt(N)) << f << ' ' << k;
			ASSERT_NEAR(back[k].im, 0, 2e-3 * std::sqrt(N)) << f << ' ' << k;
		}
	}
}
