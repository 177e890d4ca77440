#include "dsp/oscillator.hh"
#include "modem/xorshift.hh"
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

using cmplx = DSP::Complex<float>;

// The mixed samples and the oscillator are bit for bit those of the plain steps, over long runs at
// many frequencies and from starts off the unit circle (whose first norms have other roots).
TEST(Oscillator, MixesAsThePlainStepsDo)
{
	Xorshift32 rng;
	const int count = 20000;
	std::vector<cmplx> in(count), out(count);
	for (cmplx &x : in) x = cmplx(float(int32_t(rng())) * 0x1p-31f, float(int32_t(rng())) * 0x1p-31f);
	for (int trial = 0; trial < 40; ++trial) {
		float turn = float(int32_t(rng())) * 0x1p-31f * 3.1415927f;
		cmplx delta(std::cos(turn), std::sin(turn)), osc(1, 0);
		if (trial % 4 == 0) osc = cmplx(1.5f, -0.25f);
		if (trial % 4 == 1) osc = cmplx(1 + float(trial % 9 - 4) * 0x1p-23f, 0);
		cmplx plain = osc;
		cmplx end = DSP::mix(out.data(), in.data(), osc, delta, count);
		for (int k = 0; k < count; ++k) {
			cmplx expected = in[k] * plain;
			ASSERT_EQ(std::bit_cast<uint64_t>(out[k]), std::bit_cast<uint64_t>(expected)) << trial << " " << k;
			plain *= delta;
			plain /= std::sqrt(norm(plain));
		}
		ASSERT_EQ(std::bit_cast<uint64_t>(end), std::bit_cast<uint64_t>(plain)) << trial;
	}
}

}
