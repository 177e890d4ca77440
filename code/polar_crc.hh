#pragma once

namespace CODE {

// The CRC-32 that follows the payload bits on the polar code's information
// positions (reflected form, as CRC<unsigned int> takes it).
inline constexpr unsigned int polar_crc_polynomial = 0x8F6E37A0;

}
