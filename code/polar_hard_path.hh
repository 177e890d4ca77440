#pragma once

#include "code/polar_frozen_bits.hh"
#include "code/polar_kernels.hh"
#include "code/simd.hh"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace CODE {

// The one path of the list decoder that follows every hard decision, traced
// alone. The list decoder's metrics only grow, by the magnitude of each value
// a path overrules; this path overrules only frozen values, and ends with
// their cost P. A path that leaves it at information value L, having paid
// the frozen cost F until then, costs at least F + |L| from there on. When
// every F + |L| along the trace exceeds P, this path is strictly the least
// at every selection and at the end: it is never pruned, it is ranked first,
// and when it passes the CRC it is exactly what the list decoder returns.
// The trace uses the list decoder's own arithmetic on the same tree, rate-0
// shortcut included, and gives up as soon as the bound fails.
template <typename ISA = NativeISA>
class PolarHardPath
{
	using VEC = SIMD<signed char, 16, ISA>;
	static constexpr int N = 2048;
	template <int C>
	using Frozen = PolarFrozenBits<C>;

	alignas(16) signed char soft[2 * N];
	alignas(16) signed char hard[N];
	int paid, bound;

	// Lane-wise over n values, 16 at a time where the node is that wide.
	template <int n, typename F>
	static void lanes(F f)
	{
		if constexpr (n >= 16) {
			for (int i = 0; i < n; i += 16) f.template operator()<VEC>(i);
		} else {
			f.template operator()<SIMD<signed char, n, PortableISA>>(0);
		}
	}

	template <int M>
	bool node(signed char *h, Frozen<M> frozen)
	{
		constexpr int n = 1 << M, H = n / 2;
		Frozen<M - 1> left, right;
		split_frozen_bits<M>(frozen, left, right);
		signed char *in = soft + n, *out = soft + H;
		lanes<H>([&]<typename V>(int i) {
			polar_f(V::load(in + i), V::load(in + H + i)).store(out + i);
		});
		if (!child<M - 1>(h, left)) return false;
		lanes<H>([&]<typename V>(int i) {
			polar_g(V::load(in + i), V::load(in + H + i), V::load(h + i)).store(out + i);
		});
		if (!child<M - 1>(h + H, right)) return false;
		lanes<H>([&]<typename V>(int i) {
			polar_xor(V::load(h + i), V::load(h + H + i)).store(h + i);
		});
		return true;
	}

	template <int C>
	bool child(signed char *h, Frozen<C> frozen)
	{
		constexpr int n = 1 << C;
		if constexpr (C <= 5) {
			if (frozen == ~0u >> (32 - n)) {
				for (int i = 0; i < n; ++i) {
					paid -= std::min<int>(soft[n + i], 0);
					h[i] = 1;
				}
				return paid < bound;
			}
		}
		if constexpr (C == 0) {
			int L = soft[1];
			*h = L < 0 ? -1 : 1;
			bound = std::min(bound, paid + std::abs(L));
			return paid < bound;
		} else {
			return node<C>(h, frozen);
		}
	}

public:
	// Traces the path for 2048 soft bits under a frozen table; false when
	// the path may not be the list's strictly least.
	bool operator()(const signed char *code, const unsigned int *frozen)
	{
		std::copy(code, code + N, soft + N);
		paid = 0;
		bound = std::numeric_limits<int>::max();
		return node<11>(hard, frozen);
	}

	// The path's bipolar code bits, valid after a trace that returned true.
	const signed char *codeword() const { return hard; }
};

}
