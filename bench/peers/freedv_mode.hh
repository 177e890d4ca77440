#pragma once

#include <cstdlib>
#include <cstring>

#include <codec2/freedv_api.h>

// The FreeDV raw-data mode named on the command line, or -1.
inline int freedv_mode(const char *name)
{
	if (!std::strcmp(name, "DATAC0")) return FREEDV_MODE_DATAC0;
	if (!std::strcmp(name, "DATAC1")) return FREEDV_MODE_DATAC1;
	if (!std::strcmp(name, "DATAC3")) return FREEDV_MODE_DATAC3;
	return -1;
}

// Bytes of a modem frame that carry payload: the last two hold its CRC-16.
inline int freedv_payload_bytes(struct freedv *modem) { return freedv_get_bits_per_modem_frame(modem) / 8 - 2; }
