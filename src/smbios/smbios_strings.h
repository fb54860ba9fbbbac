// Strings of SMBIOS structures: the string-set after a formatted area (standard layout) and
// the two string tables keyed by handle (layout kind 2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "smbios/smbios_table_view.h"

namespace vigil::smbios {

// Strings of one structure that lookups can reach; a 33rd and later are stepped over.
constexpr std::size_t kMaxStringsPerStructure = 32;

// What a lookup gives for a string number the structure does not have, or a handle the string
// tables do not hold; published in place of the text, byte for byte.
constexpr const char* kBadStringNumberText = "** Error ** Bad string number";
constexpr const char* kNoStringForHandleText = "** Error ** No string for this handle";

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

// The entries of the two string tables of layout kind 2, found by one walk of each table per
// parse, so that a lookup by handle is a search rather than a walk from the table's start.
// Only the first entry of a key is kept: a walk from the start would find that one.
struct StringTableIndex {
  struct Entry {
    std::string_view key;
    std::size_t strings;  // buffer offset of the entry's first string
  };
  std::vector<Entry> tables[2];  // first and second table, each sorted by key
};

// Fills `index` from the tables that `table` names. Entries follow one another as key,
// strings, empty string; an empty key or the buffer end ends a table.
void IndexStringTables(const TableView& table, StringTableIndex* index);

// String `number` of structure `s`: "" for 0, else from the set (standard layout) or from the
// string tables by handle (layout kind 2), else one of the two error texts. Never null; a
// string running off the buffer is cut at its end.
std::string_view GetSmbiosString(const TableView& table, const Structure& s, const StringSet& set,
                                 uint8_t number);

// Copies `text` into a field of `capacity` bytes: at most capacity - 1 characters and a NUL.
void CopyText(std::string_view text, char* field, std::size_t capacity);

}  // namespace vigil::smbios
