// Strings of SMBIOS structures: the string-set after a formatted area (standard layout) and
// the two string tables keyed by handle (layout kind 2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "agent/platform/smbios_parser.h"
#include "agent/platform/smbios_table_view.h"

namespace vigil::smbios {

// Start offsets of the strings of one set, numbered from 1.
struct StringSet {
  uint32_t count;
  uint16_t offsets[kMaxStringsPerStructure];
};

enum class SetEnd {
  kComplete,   // `next` is the position after the terminating empty string
  kTooMany,    // a 33rd string follows: the set holds the first 32, the walk must end
  kCutOff,     // the buffer ended inside the set: `next` is the buffer end
};

struct SetReading {
  SetEnd end;
  std::size_t next;
};

// Reads the standard-layout string-set that starts at buffer offset `start`.
SetReading ReadStringSet(const TableView& table, std::size_t start, StringSet* set);

// String `number` of structure `s`: "" for 0, else from the set (standard layout) or from the
// string tables by handle (layout kind 2), else one of the two error texts. Never null; a
// string running off the buffer is cut at its end.
std::string_view GetSmbiosString(const TableView& table, const Structure& s, const StringSet& set,
                                 uint8_t number);

// Copies `text` into a field of `capacity` bytes: at most capacity - 1 characters and a NUL.
void CopyText(std::string_view text, char* field, std::size_t capacity);

}  // namespace vigil::smbios
