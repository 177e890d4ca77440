#pragma once

#include "dsp/complex.hh"
#include "dsp/kaiser.hh"

namespace DSP {

// Kaiser-windowed (β = 2π) Hilbert transformer of TAPS = 4K + 1 taps that
// turns a real signal into an analytic one delayed by H + 1 samples. Only the
// K odd taps at offsets 1, 3, …, 2K − 1 from the centre H are stored: even
// offsets are zero and the taps at −k are the negatives of those at +k.
template <typename TYPE, int TAPS>
class Hilbert
{
	static_assert(TAPS % 4 == 1 && TAPS > 1);
	static constexpr int K = (TAPS - 1) / 4, H = (TAPS - 1) / 2;
	// Outputs computed side by side in the block form: enough independent
	// sums to hide the latency of each sequential chain of additions.
	static constexpr int LANES = 16;
	// Spare room after the delay line, so that it moves once every SPARE
	// samples instead of shifting on every sample.
	static constexpr int SPARE = 256;

	// The delay line d[0 … TAPS − 1] is line[pos … pos + TAPS − 1], the
	// newest sample last; pos + TAPS ≤ TAPS + SPARE.
	TYPE line[TAPS + SPARE] = {};
	int pos = 0;
	TYPE odd[K];
	TYPE mid;

public:
	Hilbert()
	{
		Kaiser<TYPE> window;
		for (int j = 0; j < K; ++j) {
			int k = 2 * j + 1;
			TYPE w = window(H + k, TAPS);
			odd[j] = (w + w) / (TYPE(k) * TYPE(3.1415927f));
		}
		mid = Kaiser<TYPE>::i0(Kaiser<TYPE>::beta) / Kaiser<TYPE>::i0(Kaiser<TYPE>::beta);
	}

	// Tap at offset 2j + 1 from the centre, j = 0 … K − 1.
	TYPE tap(int j) const { return odd[j]; }
	TYPE centre() const { return mid; }

	// Analytic sample from the delay line as it was before y, then y enters.
	Complex<TYPE> operator()(TYPE y)
	{
		Complex<TYPE> z = output(line + pos);
		make_room();
		line[pos + TAPS] = y;
		++pos;
		return z;
	}

	// Same results as count calls of the single-sample form, in and out
	// holding count values each.
	void operator()(Complex<TYPE> *out, const TYPE *in, int count)
	{
		while (count > 0) {
			make_room();
			int n = count < SPARE - pos ? count : SPARE - pos;
			for (int i = 0; i < n; ++i) line[pos + TAPS + i] = in[i];
			int i = 0;
			for (; i + LANES <= n; i += LANES) lanes(out + i, line + pos + i);
			for (; i < n; ++i) out[i] = output(line + pos + i);
			pos += n;
			in += n;
			out += n;
			count -= n;
		}
	}

private:
	Complex<TYPE> output(const TYPE *d) const
	{
		TYPE sum = 0;
		for (int k = 0; k < K; ++k) sum += odd[k] * (d[H - 1 - 2 * k] - d[H + 1 + 2 * k]);
		return {mid * d[H], sum};
	}

	// LANES consecutive outputs, each with its own sum in the same order as
	// output(), so the compiler can vectorise across time.
	void lanes(Complex<TYPE> *out, const TYPE *d) const
	{
		TYPE sum[LANES] = {};
		for (int k = 0; k < K; ++k)
			for (int l = 0; l < LANES; ++l) sum[l] += odd[k] * (d[l + H - 1 - 2 * k] - d[l + H + 1 + 2 * k]);
		for (int l = 0; l < LANES; ++l) out[l] = {mid * d[l + H], sum[l]};
	}

	void make_room()
	{
		if (pos < SPARE) return;
		for (int i = 0; i < TAPS; ++i) line[i] = line[pos + i];
		pos = 0;
	}
};

}
