#pragma once

#include <array>

#include "dsp/complex.hh"
#include "modem/mls.hh"

// The 127 ±1 ratios between neighbouring carriers −63 … 63 of the
// half-length synchronisation symbol of HALF samples, at bin (carrier mod
// HALF): what the synchronizer correlates with.
template <int HALF>
std::array<DSP::Complex<float>, HALF> sync_sequence()
{
	std::array<DSP::Complex<float>, HALF> seq{};
	MLS mls(0x89);
	for (int c = -63; c <= 63; ++c) seq[(c + HALF) % HALF] = mls() ? -1 : 1;
	return seq;
}
