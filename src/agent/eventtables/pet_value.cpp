// The PET value parser: the conversions of sscanf "%x,%x,%x,%x,%x,%x,%x,%x", done by hand so
// that the rules (and the values kept for missing numbers) are ours and visible, not a library's.
#include <cstdint>

#include "agent/eventtables/event_table.h"

namespace vigil {

namespace {

constexpr int kPetNumbers = 8;
constexpr int kInputFailure = -1;  // what sscanf returns when the input ends before a number

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One "%x" conversion at *cursor (white space already skipped). False on a matching failure.
// The value is what strtoul gives: negated modulo 2^64 after a '-', all ones on overflow.
bool ConvertHex(const char** cursor, uint64_t* value) {
  const char* p = *cursor;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  bool anyDigit = false;
  if (*p == '0') {
    // "0x" is a prefix even with no digit after it: the number is then the 0 alone.
    anyDigit = true;
    ++p;
    if (*p == 'x' || *p == 'X') ++p;
  }
  uint64_t magnitude = 0;
  bool overflow = false;
  for (int digit; (digit = HexDigit(*p)) >= 0; ++p) {
    anyDigit = true;
    if (magnitude > (UINT64_MAX >> 4)) overflow = true;
    magnitude = (magnitude << 4) | static_cast<uint64_t>(digit);
  }
  if (!anyDigit) return false;
  *value = overflow ? UINT64_MAX : (negative ? 0 - magnitude : magnitude);
  *cursor = p;
  return true;
}

}  // namespace

int ParsePetValue(const char* data, PetRecord* pet) {
  const char* p = data;
  int count = 0;
  for (int k = 0; k < kPetNumbers; ++k) {
    if (k > 0) {
      // The comma must follow the number directly; a blank before it ends the parse.
      if (*p != ',') return count;
      ++p;
    }
    while (IsSpace(*p)) ++p;
    if (*p == '\0') return count == 0 ? kInputFailure : count;
    uint64_t value = 0;
    if (!ConvertHex(&p, &value)) return count;
    (*pet)[k] = static_cast<uint8_t>(value & 0xFF);
    ++count;
  }
  return count;
}

}  // namespace vigil
