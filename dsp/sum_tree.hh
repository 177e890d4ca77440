#pragma once

namespace DSP {

// Sliding sum of the newest N values. Entries N … 2N − 1 are the leaves,
// entry i < N holds entry 2i plus entry 2i + 1, entry 1 the whole sum (for
// any N, not only powers of two). An insertion rewrites the one path from
// its leaf to the root instead of adding the new value and subtracting the
// old one, so the sum is always the exact tree sum of the values in the
// window and no rounding error builds up however long the tree runs.
template <typename T, int N>
class SumTree
{
	static_assert(N >= 1);
	T tree[2 * N] = {};
	int leaf = N;

public:
	void insert(T value)
	{
		int j = leaf;
		tree[j] = value;
		while (j > 1) {
			value = value + tree[j ^ 1];
			j >>= 1;
			tree[j] = value;
		}
		leaf = leaf + 1 == 2 * N ? N : leaf + 1;
	}

	void operator()(T value) { insert(value); }

	T sum() const { return tree[1]; }
};

}
