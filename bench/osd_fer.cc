// Frame error rate of the BCH(255, 71) ordered statistics decoder for BPSK
// over AWGN against Eb/N0, Eb per information bit (rate 71/255).
// Soft bits are quantised like the receiver's: round-to-nearest of 64 times
// the received amplitude (unit amplitude for a clean bit), clamped to
// -128 … 127; that is the LLR 2y/σ² scaled by 32σ².
// Usage: osd_fer [frames per point] — prints CSV on standard output.
#include "code/bch_encoder.hh"
#include "code/bch_generator.hh"
#include "code/bch_polynomials.hh"
#include "code/osd.hh"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

int main(int argc, char **argv)
{
	constexpr int N = 255, K = 71;
	const int frames = argc > 1 ? std::atoi(argv[1]) : 20000;
	static int8_t genmat[K * N];
	static CODE::OrderedStatisticsDecoder<N, K, 2> osd;
	CODE::BoseChaudhuriHocquenghemGenerator<N, K>::matrix(genmat, true, CODE::bch_255_71_minimal_polynomials);

	// ambiguous: decoder returned false; wrong: returned true with another word.
	std::printf("ebn0_db,frames,ambiguous,wrong,fer\n");
	for (int tenths = 0; tenths <= 50; tenths += 5) {
		const float ebn0 = tenths / 10.0f;
		const float sigma = std::sqrt(N / (2.0f * K * std::pow(10.0f, ebn0 / 10)));
		std::mt19937 gen(1000 + tenths);
		std::normal_distribution<float> noise(0, sigma);
		int ambiguous = 0, wrong = 0;
		for (int n = 0; n < frames; ++n) {
			uint8_t message[9], code[32] = {}, hard[32] = {};
			int8_t soft[N];
			for (auto &b : message) b = gen();
			CODE::bch_encode(code, message, genmat);
			for (int k = 0; k < N; ++k) {
				float y = (CODE::get_be_bit(code, k) ? -1 : 1) + noise(gen);
				soft[k] = std::clamp(std::nearbyint(64 * y), -128.0f, 127.0f);
			}
			if (!osd(hard, soft, genmat))
				++ambiguous;
			else if (std::memcmp(hard, code, sizeof(code)))
				++wrong;
		}
		std::printf("%.1f,%d,%d,%d,%.5f\n", ebn0, frames, ambiguous, wrong,
			    double(ambiguous + wrong) / frames);
		std::fflush(stdout);
	}
}
