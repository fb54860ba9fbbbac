// The bytes of a .reg file as UTF-8 text. The registry editor saves UTF-16LE with a byte-order
// mark by default; files written by hand or by scripts are UTF-8, with or without a mark.
#pragma once

#include <string>
#include <string_view>

namespace vigilctl {

// UTF-16LE with its mark is converted to UTF-8; UTF-8 loses its mark; anything else is taken
// as it is. False with *error for UTF-16 that cannot be converted (odd length, an unpaired
// surrogate) or in big-endian order. Any thread.
bool DecodeRegBytes(std::string_view bytes, std::string* text, std::string* error);

}  // namespace vigilctl
