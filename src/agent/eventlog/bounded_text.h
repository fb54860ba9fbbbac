// Appending to fixed text fields without ever writing past them.
#pragma once

#include <cstddef>

namespace vigil {

// Appends `source` to the NUL-terminated text in `text` (`capacity` bytes), cutting what does
// not fit so that the result always ends in a NUL inside the field. A text that arrives
// without a NUL inside the field is cut at its last byte first.
void AppendBoundedText(char* text, std::size_t capacity, const char* source);

}  // namespace vigil
