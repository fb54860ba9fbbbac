// Small JSON writing helpers for vigilctl output (string literals: text/json_string.h).
#pragma once

#include <string>

namespace vigilctl {

// A float that reads back to the same f32 ("%.9g"); null for NaN and infinities.
std::string JsonFloat(float value);

}  // namespace vigilctl
