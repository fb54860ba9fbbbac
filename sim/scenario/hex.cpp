#include "scenario/hex.h"

namespace hwsim {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->clear();
  int high = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (IsBlank(c)) {
      if (high >= 0) {
        *error = "blank inside a byte at character " + std::to_string(i);
        return false;
      }
      continue;
    }
    int v = DigitValue(c);
    if (v < 0) {
      *error = std::string("'") + c + "' is not a hex digit (character " + std::to_string(i) + ")";
      return false;
    }
    if (high < 0) {
      high = v;
    } else {
      bytes->push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) {
    *error = "odd number of hex digits";
    return false;
  }
  return true;
}

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* value, std::string* error) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  size_t start = hex ? 2 : 0;
  int base = hex ? 16 : 10;
  if (text.size() == start) {
    *error = "empty number";
    return false;
  }
  uint64_t v = 0;
  for (size_t i = start; i < text.size(); ++i) {
    int d = DigitValue(text[i]);
    if (d < 0 || d >= base) {
      *error = "'" + text + "' is not a " + (hex ? "hex" : "decimal") + " number";
      return false;
    }
    v = v * base + d;
    if (v > max) {
      *error = text + " is larger than " + std::to_string(max);
      return false;
    }
  }
  *value = v;
  return true;
}

std::string FormatHexBytes(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

}  // namespace hwsim
