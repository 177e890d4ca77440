#pragma once

#include <bit>

namespace DSP {

template <typename TYPE>
struct UnitCircle;

// cos(2πn/N) and sin(2πn/N) without the mathematics library, so that every
// table built from them is the same bit for bit on every platform. The angle
// is folded exactly in integers to within an eighth of a turn of an axis;
// only the final kernel argument k·2π/D is rounded.
// Contract: N > 0 and −N ≤ n ≤ N; 8n and 7N must fit in an int.
template <>
struct UnitCircle<float>
{
	static constexpr float cos(int n, int N)
	{
		int m = 8 * n;
		if (m < -7 * N) return kc(n + N, N);
		if (m < -5 * N) return -ks(4 * n + 3 * N, 4 * N);
		if (m < -3 * N) return -kc(2 * n + N, 2 * N);
		if (m < -N) return ks(4 * n + N, 4 * N);
		if (m < N) return kc(n, N);
		if (m < 3 * N) return -ks(4 * n - N, 4 * N);
		if (m < 5 * N) return -kc(2 * n - N, 2 * N);
		if (m < 7 * N) return ks(4 * n - 3 * N, 4 * N);
		return kc(n - N, N);
	}

	static constexpr float sin(int n, int N)
	{
		int m = 8 * n;
		if (m < -7 * N) return ks(n + N, N);
		if (m < -5 * N) return kc(4 * n + 3 * N, 4 * N);
		if (m < -3 * N) return -ks(2 * n + N, 2 * N);
		if (m < -N) return -kc(4 * n + N, 4 * N);
		if (m < N) return ks(n, N);
		if (m < 3 * N) return kc(4 * n - N, 4 * N);
		if (m < 5 * N) return -ks(2 * n - N, 2 * N);
		if (m < 7 * N) return -kc(4 * n - 3 * N, 4 * N);
		return ks(n - N, N);
	}

	// Polynomial coefficients by bit pattern: the two highest of each kernel
	// are tuned below the Taylor values and must not be re-derived.
	static constexpr float c7 = std::bit_cast<float>(0xAD47D24Du);
	static constexpr float c6 = std::bit_cast<float>(0x310F74ECu);
	static constexpr float c5 = std::bit_cast<float>(0x3493F27Cu);
	static constexpr float c4 = std::bit_cast<float>(0x37D00D01u);
	static constexpr float c3 = std::bit_cast<float>(0x3AB60B61u);
	static constexpr float c2 = std::bit_cast<float>(0x3D2AAAABu);
	static constexpr float s6 = std::bit_cast<float>(0x2F2EC7E9u);
	static constexpr float s5 = std::bit_cast<float>(0x32D72F2Du);
	static constexpr float s4 = std::bit_cast<float>(0x3638EF1Bu);
	static constexpr float s3 = std::bit_cast<float>(0x39500D01u);
	static constexpr float s2 = std::bit_cast<float>(0x3C088889u);
	static constexpr float s1 = std::bit_cast<float>(0x3E2AAAABu);
	static constexpr float two_pi = std::bit_cast<float>(0x40C90FDBu);

private:
	// Kernel angle k·2π/D, |k/D| ≤ 1/8; the product comes before the division.
	static constexpr float angle(int k, int D) { return float(k) * two_pi / float(D); }

	static constexpr float kc(int k, int D)
	{
		float x = angle(k, D), y = x * x;
		return ((((((c7 * y + c6) * y - c5) * y + c4) * y - c3) * y + c2) * y - 0.5f) * y + 1.f;
	}

	static constexpr float ks(int k, int D)
	{
		float x = angle(k, D), y = x * x;
		float p = ((((s6 * y - s5) * y + s4) * y - s3) * y + s2) * y - s1;
		return (y * p + 1.f) * x;
	}
};

}
