// The system UUID field as canonical text.
#pragma once

#include <cstdint>
#include <string>

namespace vigilctl {

// 16 bytes in SMBIOS order (time-low, time-mid, time-high little-endian, the rest as stored)
// -> "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lower case.
std::string UuidText(const uint8_t* bytes);

}  // namespace vigilctl
