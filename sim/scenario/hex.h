// Text forms of the numbers and byte strings in scenario files and ctl commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hwsim {

// Pairs of hex digits, either case; blanks between bytes are allowed for readability.
// False with a reason in *error (bad digit and its place, odd digit count).
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes, std::string* error);

// A decimal number or a "0x"-prefixed hex number no greater than `max`.
bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* value, std::string* error);

std::string FormatHexBytes(const uint8_t* bytes, size_t count);

}  // namespace hwsim
