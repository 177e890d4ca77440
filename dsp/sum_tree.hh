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

	// Inserts count values in order; sums[i] receives the sum as it stands
	// after values[i], bit for bit what single insertions give. Aligned runs
	// of four leaves at one depth are done together: their paths meet two
	// levels up, and above that the four sums take the same siblings, so
	// one vector of four partial sums climbs to the root.
	void insert(const T *values, T *sums, int count)
	{
		int i = 0;
		while (i < count) {
			if (N >= 4 && count - i >= 4 && leaf % 4 == 0 && leaf + 4 <= 2 * N) {
				if constexpr (N >= 4) insert_four(values + i, sums + i);
				i += 4;
			} else {
				insert(values[i]);
				sums[i++] = tree[1];
			}
		}
	}

	void operator()(T value) { insert(value); }

	T sum() const { return tree[1]; }

private:
	// leaf is a multiple of four and the four leaves share their parents'
	// parent (2^(height+1), where the depth changes, is a multiple of four).
	void insert_four(const T *v, T *sums)
	{
		int j = leaf;
		T old_pair = tree[(j >> 1) + 1];
		T left = v[0] + v[1], right = v[2] + v[3];
		// the sum after each of the four insertions, two levels up
		T x0 = (v[0] + tree[j + 1]) + old_pair, x1 = left + old_pair;
		T x2 = left + (v[2] + tree[j + 3]), x3 = left + right;
		tree[j] = v[0];
		tree[j + 1] = v[1];
		tree[j + 2] = v[2];
		tree[j + 3] = v[3];
		tree[j >> 1] = left;
		tree[(j >> 1) + 1] = right;
		j >>= 2;
		tree[j] = x3;
		while (j > 1) {
			T sibling = tree[j ^ 1];
			x0 = x0 + sibling;
			x1 = x1 + sibling;
			x2 = x2 + sibling;
			x3 = x3 + sibling;
			j >>= 1;
			tree[j] = x3;
		}
		sums[0] = x0;
		sums[1] = x1;
		sums[2] = x2;
		sums[3] = x3;
		leaf = leaf + 4 == 2 * N ? N : leaf + 4;
	}
};

}
