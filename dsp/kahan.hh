#pragma once

namespace DSP {

// Compensated summation. compensation holds the low-order part lost by the
// last addition, with the sign that step 1 subtracts it again; callers read
// sum and compensation directly after each addition.
template <typename TYPE>
struct Kahan
{
	TYPE sum = 0, compensation = 0;

	constexpr Kahan() = default;
	constexpr explicit Kahan(TYPE sum, TYPE compensation = 0) : sum(sum), compensation(compensation) {}

	constexpr TYPE operator()(TYPE x)
	{
		TYPE y = x - compensation;
		TYPE t = y + sum;
		compensation = (t - sum) - y;
		return sum = t;
	}
};

}
