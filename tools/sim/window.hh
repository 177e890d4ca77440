#pragma once

#include <numbers>
#include <cmath>

// Blackman window over -1 … 1 (zero outside), sidelobes below -58 dB.
inline double blackman(double u)
{
	if (u <= -1 || u >= 1) return 0;
	return 0.42 + 0.5 * std::cos(std::numbers::pi * u) + 0.08 * std::cos(2 * std::numbers::pi * u);
}
