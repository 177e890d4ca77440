#pragma once

#include <numbers>
#include <cmath>
#include <cstdint>

// Splitmix64 stream with Gaussian values from the Box-Muller transform. The
// same seed gives the same sequence; nothing depends on the standard
// library's distributions, whose output differs between implementations.
class Random
{
	uint64_t state;
	double spare = 0;
	bool has_spare = false;

public:
	explicit Random(uint64_t seed) : state(seed) {}

	uint64_t next()
	{
		uint64_t z = (state += 0x9E3779B97F4A7C15);
		z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
		z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
		return z ^ (z >> 31);
	}

	// Uniform in (0, 1].
	double uniform() { return double((next() >> 11) + 1) * 0x1p-53; }

	// Zero mean, unit variance.
	double gaussian()
	{
		if (has_spare) {
			has_spare = false;
			return spare;
		}
		double r = std::sqrt(-2 * std::log(uniform())), phi = 2 * std::numbers::pi * uniform();
		spare = r * std::sin(phi);
		has_spare = true;
		return r * std::cos(phi);
	}
};
