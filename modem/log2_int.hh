#pragma once

// Floor of the base-2 logarithm of a positive value: the number of right
// shifts that leave it non-zero. Zero has none and gives 0.
constexpr int log2_int(int x)
{
	int n = 0;
	for (unsigned u = x; u >>= 1;) ++n;
	return n;
}
