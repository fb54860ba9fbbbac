#include "json_text.h"

#include <cmath>
#include <cstdio>

namespace vigilctl {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (c >= 0x20 && c < 0x7F) {
      out.push_back(ch);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    }
  }
  out.push_back('"');
  return out;
}

std::string JsonFloat(float value) {
  if (!std::isfinite(value)) return "null";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
  return buffer;
}

}  // namespace vigilctl
