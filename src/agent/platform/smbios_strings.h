// Strings of SMBIOS structures: the string-set after a formatted area (standard layout) and
// the two string tables keyed by handle (layout kind 2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/smbios_parser.h"
#include "platform/smbios_table_view.h"

namespace vigil::smbios {

// Start offsets of the strings of one set, numbered from 1.
struct StringSet {
  uint32_t count;
  uint16_t offsets[kMaxStringsPerStructure];
};

// Reads the standard-layout string-set that starts at buffer offset `start`. The first 32
// strings are recorded for lookups; further ones (OEM, type 11 and type 12 structures of real
// boards carry 33 and more) are stepped over to the set's end, so the walk goes on.
// Returns the position after the terminating empty string, or kBufferSize when the buffer
// ends inside the set.
std::size_t ReadStringSet(const TableView& table, std::size_t start, StringSet* set);

// String `number` of structure `s`: "" for 0, else from the set (standard layout) or from the
// string tables by handle (layout kind 2), else one of the two error texts. Never null; a
// string running off the buffer is cut at its end.
std::string_view GetSmbiosString(const TableView& table, const Structure& s, const StringSet& set,
                                 uint8_t number);

// Copies `text` into a field of `capacity` bytes: at most capacity - 1 characters and a NUL.
void CopyText(std::string_view text, char* field, std::size_t capacity);

}  // namespace vigil::smbios
