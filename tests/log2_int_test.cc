#include <gtest/gtest.h>

#include "modem/log2_int.hh"

// Floor of the binary logarithm; 0 is reported and gives 0.
TEST(Log2Int, FloorOfTheBinaryLogarithm)
{
	const int expected[][2] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {7, 2}, {8, 3}, {1024, 10}, {0x7fffffff, 30}};
	for (auto [x, log] : expected) EXPECT_EQ(log2_int(x), log) << x;
	static_assert(log2_int(8) == 3);
}

TEST(Log2Int, NegativeValuesEnd) { EXPECT_EQ(log2_int(-1), 31); }
