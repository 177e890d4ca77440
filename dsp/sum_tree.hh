#pragma once

#include <type_traits>
#include <utility>

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
	// of leaves at one depth are done together: after each insertion of a
	// run the sums below the run's common ancestor are formed side by side,
	// and above it all of them take the same siblings on the way to the root.
	void insert(const T *values, T *sums, int count)
	{
		int i = 0;
		while (i < count) {
			if (insert_run<4>(values, sums, i, count) || insert_run<2>(values, sums, i, count))
				continue;
			insert(values[i]);
			sums[i++] = tree[1];
		}
	}

	void operator()(T value) { insert(value); }

	// As new: all values zero, the next insertion at the first leaf.
	void clear()
	{
		for (T &t : tree) t = T();
		leaf = N;
	}

	// As single insertions leave the tree when leaf k (from the first) last
	// received value(k) and the next insertion goes to leaf next: every sum
	// only ever depends on the leaves below it, whatever order they came in.
	template <typename VALUE>
	void assign(VALUE value, int next)
	{
		for (int k = 0; k < N; ++k) tree[N + k] = value(k);
		for (int i = N - 1; i >= 1; --i) tree[i] = tree[2 * i] + tree[2 * i + 1];
		leaf = N + next;
	}

	T sum() const { return tree[1]; }

private:
	// The run's parts are forced inline: its sums only stay in registers when
	// they are, and the compiler's own choice follows its budget for the whole
	// unit, which any change elsewhere in the receiver can tip (once it cost
	// a quarter of the per-sample speed).
	//
	// A run of 2^M leaves starting at a multiple of 2^M that ends inside the
	// leaves lies at one depth (2^(height+1), where the depth changes, is a
	// multiple of 2^M too) below the common ancestor leaf >> M.
	template <int M>
	[[gnu::always_inline]] bool insert_run(const T *values, T *sums, int &i, int count)
	{
		constexpr int W = 1 << M;
		if constexpr (N < W) {
			return false;
		} else {
			if (count - i < W || leaf % W || leaf + W > 2 * N) return false;
			T x[W];
			fill<M>(leaf, values + i, x);
			climb<W>(leaf >> M, x);
			for (int r = 0; r < W; ++r) sums[i + r] = x[r];
			i += W;
			leaf = leaf + W == 2 * N ? N : leaf + W;
			return true;
		}
	}

	// Writes v[0 … 2^M − 1] to the leaves from j on and their ancestors up to
	// j >> M; x[r] receives the value of that ancestor after v[r].
	template <int M>
	[[gnu::always_inline]] void fill(int j, const T *v, T *x)
	{
		if constexpr (M == 0) {
			tree[j] = x[0] = v[0];
		} else {
			constexpr int H = 1 << (M - 1);
			T old_right = tree[(j >> (M - 1)) + 1];
			fill<M - 1>(j, v, x);
			fill<M - 1>(j + H, v + H, x + H);
			add_to_each(x + H, x[H - 1], std::make_index_sequence<H>());
			add_to_each(x, old_right, std::make_index_sequence<H>());
			tree[j >> M] = x[2 * H - 1];
		}
	}

	// From node j, whose value after each of W insertions is x[0 … W − 1],
	// up to the root: every level adds the same sibling to all W sums and
	// keeps the last.
	template <int W>
	[[gnu::always_inline]] void climb(int j, T *x)
	{
		while (j > 1) {
			add_to_each(x, tree[j ^ 1], std::make_index_sequence<W>());
			j >>= 1;
			tree[j] = x[W - 1];
		}
	}

	// A loop over plain floats becomes vector additions; pairs such as
	// complex values only stay in registers when spelled out.
	template <std::size_t... R>
	static void add_to_each(T *x, T value, std::index_sequence<R...>)
	{
		if constexpr (std::is_floating_point_v<T>) {
			for (std::size_t r = 0; r < sizeof...(R); ++r) x[r] = x[r] + value;
		} else {
			((x[R] = x[R] + value), ...);
		}
	}
};

}
