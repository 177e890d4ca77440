#include <gtest/gtest.h>

#include "modem/log2_int.hh"

// Floor of the binary logarithm; 0 is reported and gives 0.
TEST(Log2Int, FloorOfTheBinaryLogarithm)
{
	for (auto [x, log] : {std::pair{1, 0}, {2, 1}, {3, 1}, {7, 2}, {8, 3}, {0x7fffffff, 30}, {-1, 31}})
		EXPECT_EQ(log2_int(x), log) << x;
	testing::internal::CaptureStdout();
	EXPECT_EQ(log2_int(0), 0);
	EXPECT_EQ(testing::internal::GetCapturedStdout(), "Number is 0\n");
}
