#include "json_text.h"

#include <cmath>
#include <cstdio>

namespace vigilctl {

std::string JsonFloat(float value) {
  if (!std::isfinite(value)) return "null";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
  return buffer;
}

}  // namespace vigilctl
