// Names for the cases of parameterized suites (the fourth argument of INSTANTIATE_TEST_SUITE_P).
// GoogleTest accepts only letters, digits and underscores, and CTest lists the same name, so a
// failing case reads as what it tests rather than as an index or a dump of its bytes.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vigil::test {

// `text` with every character other than a letter or a digit turned into '_'.
inline std::string TestName(std::string_view text) {
  std::string name(text.empty() ? "empty" : text);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// `prefix` and `value` in upper-case hexadecimal: TestName("status", 0xA3) is "status_A3".
inline std::string TestName(std::string_view prefix, uint64_t value) {
  char hex[20];
  std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(value));
  return TestName(prefix) + "_" + hex;
}

}  // namespace vigil::test
