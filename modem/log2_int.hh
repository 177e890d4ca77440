#pragma once

#include <iostream>

// Floor of the base-2 logarithm of a positive value: the number of right
// shifts that leave it non-zero. Zero has none; it is reported and gives 0.
constexpr int log2_int(int x)
{
	if (x == 0) {
		std::cout << "Number is 0" << std::endl;
		return 0;
	}
	int n = 0;
	for (unsigned u = x; u >>= 1;) ++n;
	return n;
}
