#include "code/polar_tables.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

bool frozen_at(const unsigned int *table, int i)
{
	return (table[i / 32] >> (i % 32)) & 1;
}

// z0 is an erasure probability from inside the narrow range that reproduces the table.
struct Table
{
	const char *name;
	const unsigned int *words;
	int info, lowest;
	double z0;
};

const Table tables[] = {
	// name        words             info  lowest  z0
	{"frozen_712", frozen_2048_712, 712, 503, 0.54},
	{"frozen_1056", frozen_2048_1056, 1056, 255, 0.351},
	{"frozen_1392", frozen_2048_1392, 1392, 223, 0.19},
};

class FrozenTable : public testing::TestWithParam<Table>
{
};

// Count and lowest information position read from the words, then the table
// rebuilt from Bhattacharyya bounds of an erasure channel: position i applies
// 2z - z^2 (bit 0) or z^2 (bit 1) for its bits from the most significant down,
// and the largest values are frozen. A mistyped word fails here.
TEST_P(FrozenTable, CountsAndBhattacharyyaConstruction)
{
	const Table &t = GetParam();
	std::vector<int> info;
	for (int i = 0; i < 2048; ++i)
		if (!frozen_at(t.words, i)) info.push_back(i);
	EXPECT_EQ(int(info.size()), t.info);
	EXPECT_EQ(info.front(), t.lowest);

	std::vector<double> z(2048);
	for (int i = 0; i < 2048; ++i) {
		z[i] = t.z0;
		for (int b = 10; b >= 0; --b) z[i] = (i >> b) & 1 ? z[i] * z[i] : 2 * z[i] - z[i] * z[i];
	}
	std::vector<int> order(2048);
	std::iota(order.begin(), order.end(), 0);
	std::sort(order.begin(), order.end(), [&z](int a, int b) { return z[a] > z[b]; });
	int frozen = 2048 - t.info;
	ASSERT_GT(z[order[frozen - 1]], z[order[frozen]]) << "ambiguous boundary";
	for (int r = 0; r < 2048; ++r) EXPECT_EQ(frozen_at(t.words, order[r]), r < frozen) << "position " << order[r];
}

INSTANTIATE_TEST_SUITE_P(Rates, FrozenTable, testing::ValuesIn(tables),
			 [](const auto &info) { return std::string(info.param.name); });

// A higher rate only unfreezes positions; the low rate's word around its
// lowest information position as stored.
TEST(FrozenTables, NestedSetsAndLowRateWord)
{
	for (int t = 1; t < 3; ++t)
		for (int i = 0; i < 2048; ++i)
			EXPECT_TRUE(frozen_at(tables[t - 1].words, i) || !frozen_at(tables[t].words, i)) << t << ' ' << i;
	EXPECT_EQ(frozen_2048_712[15], 0x177FFFFFu);
}

}
