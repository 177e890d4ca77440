#pragma once

// How a receiver turns data symbols into soft bits. reference: each carrier
// against the same carrier of the previous symbol, with a line fit of the
// residual phase. enhanced: each carrier against a channel estimate that is
// smoothed across carriers and carried over from the metadata symbol, with
// log-likelihood ratios from both symbols' posteriors; about 2 dB more
// sensitive in white noise, for a few more operations per carrier. The
// enhanced receiver also searches for preambles in the audio band alone
// (AudioBandSynchronizer), at about twice the cost of the reference on noise.
enum class Demodulator
{
	reference = 0,
	enhanced = 1,
};
