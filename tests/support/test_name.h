// Names for the cases of parameterized suites (the fourth argument of INSTANTIATE_TEST_SUITE_P).
// GoogleTest accepts only letters, digits and underscores, and CTest lists the same name, so a
// failing case reads as what it tests rather than as an index or a dump of its bytes.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstddef>
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
  std::string hex;
  do {
    hex.insert(hex.begin(), "0123456789ABCDEF"[value % 16]);
    value /= 16;
  } while (value != 0);
  return TestName(prefix) + "_" + hex;
}

// For cases that are bare input texts, which may repeat once cleaned: "n<index>_" and the
// first 24 characters of TestName(text).
inline std::string TestName(std::size_t index, std::string_view text) {
  return "n" + std::to_string(index) + "_" + TestName(text).substr(0, 24);
}

}  // namespace vigil::test
