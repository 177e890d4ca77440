#pragma once

#include <complex>
#include <cstring>
#include <vector>

#include <liquid/liquid.h>

// liquid-dsp OFDM frames (ofdmflexframe) as this bench sends them: complex
// baseband at 8000 Hz moved to a 1500 Hz audio centre, carriers within
// ±800 Hz of it, Golay(24,12) (the strongest code of a liquid-dsp built
// without libfec, as Debian's is) and CRC-32 on a 128-byte payload.
namespace LiquidFrame {

constexpr int rate = 8000;
// The centre as whole turns over whole samples: 1500 Hz is 3 turns in 16.
constexpr int centre_turns = 3, centre_period = 16;
constexpr float centre = float(rate) * centre_turns / centre_period;
constexpr float half_width = 800;
constexpr unsigned carriers = 256; // 31.25 Hz apart
constexpr unsigned prefix = 32;    // 4 ms, twice the longest Watterson delay
constexpr unsigned taper = 8;
constexpr unsigned payload_bytes = 128;

// QPSK or BPSK by name, or LIQUID_MODEM_UNKNOWN.
inline modulation_scheme modulation(const char *name)
{
	if (!std::strcmp(name, "qpsk")) return LIQUID_MODEM_QPSK;
	if (!std::strcmp(name, "bpsk")) return LIQUID_MODEM_BPSK;
	return LIQUID_MODEM_UNKNOWN;
}

inline std::vector<unsigned char> allocation()
{
	std::vector<unsigned char> p(carriers);
	ofdmframe_init_sctype_range(carriers, -half_width / rate, half_width / rate, p.data());
	return p;
}

inline ofdmflexframegenprops_s properties(modulation_scheme scheme)
{
	ofdmflexframegenprops_s props;
	ofdmflexframegenprops_init_default(&props);
	props.check = LIQUID_CRC_32;
	props.fec0 = LIQUID_FEC_GOLAY2412;
	props.fec1 = LIQUID_FEC_NONE;
	props.mod_scheme = scheme;
	return props;
}

}
