#pragma once

namespace DSP {

template <typename TYPE>
struct DCBlocker;

// First-order DC blocker y = (x − x₋₁)·gain + pole·y₋₁. With gain
// (1 + pole)/2 it passes the Nyquist frequency with gain 1 and blocks 0 Hz.
template <>
struct DCBlocker<float>
{
	float previous_input = 0, previous_output = 0, pole = 0, gain = 0.5f;

	// Pole 1 − 1/n (a time constant of about n samples).
	void samples(int n)
	{
		pole = float(n - 1) / float(n);
		gain = float(2 * n - 1) / float(2 * n);
	}

	float operator()(float x)
	{
		float y = (x - previous_input) * gain + pole * previous_output;
		previous_input = x;
		previous_output = y;
		return y;
	}
};

}
