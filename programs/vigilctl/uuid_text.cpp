#include "uuid_text.h"

#include <cstdio>

namespace vigilctl {

std::string UuidText(const uint8_t* u) {
  char text[40];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                u[3], u[2], u[1], u[0], u[5], u[4], u[7], u[6], u[8], u[9], u[10], u[11], u[12], u[13],
                u[14], u[15]);
  return text;
}

}  // namespace vigilctl
