#pragma once

#include "dsp/complex.hh"
#include "dsp/kaiser.hh"

#include <cstring>
#include <numbers>

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
	// Outputs computed side by side in the block form: three vectors of
	// independent sums hide the latency of each sequential chain of
	// additions (at four, GCC 12 carries the overlapping loads from one k to
	// the next through integer registers, which measured slower).
	static constexpr int LANES = 12;
	// Spare room after the delay line, so that it moves once every SPARE
	// samples instead of shifting on every sample; a multiple of LANES.
	static constexpr int SPARE = 240;

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
			odd[j] = (w + w) / (TYPE(k) * TYPE(std::numbers::pi_v<float>));
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
	// output(), in vectors across time.
	void lanes(Complex<TYPE> *out, const TYPE *d) const
	{
		typedef TYPE Vector __attribute__((vector_size(16)));
		constexpr int V = sizeof(Vector) / sizeof(TYPE), N = LANES / V;
		Vector sum[N] = {};
		for (int k = 0; k < K; ++k) {
			for (int v = 0; v < N; ++v) {
				Vector older, newer;
				std::memcpy(&older, d + v * V + H - 1 - 2 * k, sizeof older);
				std::memcpy(&newer, d + v * V + H + 1 + 2 * k, sizeof newer);
				sum[v] += odd[k] * (older - newer);
			}
		}
		for (int v = 0; v < N; ++v) {
			Vector centre;
			std::memcpy(&centre, d + v * V + H, sizeof centre);
			Vector re = mid * centre;
			Vector low = __builtin_shufflevector(re, sum[v], 0, 4, 1, 5);
			Vector high = __builtin_shufflevector(re, sum[v], 2, 6, 3, 7);
			std::memcpy(static_cast<void *>(out + v * V), &low, sizeof low);
			std::memcpy(static_cast<void *>(out + v * V + 2), &high, sizeof high);
		}
	}

	void make_room()
	{
		if (pos < SPARE) return;
		for (int i = 0; i < TAPS; ++i) line[i] = line[pos + i];
		pos = 0;
	}
};

}
