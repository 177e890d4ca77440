#pragma once

#include "code/bits.hh"
#include "code/polar_encoder.hh"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

// Random payloads, systematically polar encoded, sent as BPSK over AWGN at a
// given Eb/N0 per payload bit (K payload bits in 2048 code bits). Soft bits are
// clamp(round(scale LLR)) to -128 ... 127, LLR = 2 y / sigma^2.
struct PolarFrames
{
	static constexpr int N = 2048;
	CODE::PolarEncoder encoder;
	std::mt19937 rng;
	const unsigned int *frozen;
	int K;
	float sigma, scale;
	uint8_t payload[N / 8];
	signed char code[N];

	PolarFrames(const unsigned int *frozen, int K, float ebn0_db, float scale, unsigned seed)
		: rng(seed), frozen(frozen), K(K), sigma(std::sqrt(N / (2.0f * K * std::pow(10.0f, ebn0_db / 10)))),
		  scale(scale)
	{
	}

	void next()
	{
		std::normal_distribution<float> noise(0, sigma);
		for (int i = 0; i < K / 8; ++i) payload[i] = rng();
		signed char x[N];
		encoder(x, payload, frozen, K);
		for (int i = 0; i < N; ++i) {
			float llr = 2 * (x[i] + noise(rng)) / (sigma * sigma);
			code[i] = std::clamp(std::nearbyint(scale * llr), -128.0f, 127.0f);
		}
	}
};
