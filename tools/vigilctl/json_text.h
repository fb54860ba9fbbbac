// Small JSON writing helpers for vigilctl output.
#pragma once

#include <string>
#include <string_view>

namespace vigilctl {

// A JSON string literal; bytes outside printable ASCII become \u00XX (taken as Latin-1), so the
// output is valid UTF-8 whatever a block holds.
std::string JsonString(std::string_view text);
// A float that reads back to the same f32 ("%.9g"); null for NaN and infinities.
std::string JsonFloat(float value);

}  // namespace vigilctl
