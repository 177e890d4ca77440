#include "code/polar_tables.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

// z0 is an erasure probability from inside the narrow range that reproduces the table.
struct Table
{
	const char *name;
	const unsigned int *words;
	int info;
	double z0;
};

const Table tables[] = {{"frozen_712", frozen_2048_712, 712, 0.54},
			{"frozen_1056", frozen_2048_1056, 1056, 0.351},
			{"frozen_1392", frozen_2048_1392, 1392, 0.19}};

class FrozenTable : public testing::TestWithParam<Table>
{
};

// The table rebuilt from Bhattacharyya bounds of an erasure channel: position i applies 2z - z^2
// (bit 0) or z^2 (bit 1) for its bits from the most significant down, and the largest are frozen.
TEST_P(FrozenTable, BhattacharyyaConstruction)
{
	const Table &t = GetParam();
	std::vector<double> z(2048, t.z0);
	for (int i = 0; i < 2048; ++i)
		for (int b = 10; b >= 0; --b) z[i] = (i >> b) & 1 ? z[i] * z[i] : 2 * z[i] - z[i] * z[i];
	std::vector<int> order(2048);
	std::iota(order.begin(), order.end(), 0);
	std::sort(order.begin(), order.end(), [&z](int a, int b) { return z[a] > z[b]; });
	int frozen = 2048 - t.info;
	ASSERT_GT(z[order[frozen - 1]], z[order[frozen]]) << "ambiguous boundary";
	for (int r = 0; r < 2048; ++r)
		EXPECT_EQ(t.words[order[r] / 32] >> order[r] % 32 & 1, unsigned(r < frozen)) << order[r];
}

INSTANTIATE_TEST_SUITE_P(Rates, FrozenTable, testing::ValuesIn(tables),
			 [](const auto &info) { return std::string(info.param.name); });

}
