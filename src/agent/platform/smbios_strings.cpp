#include "agent/platform/smbios_strings.h"

#include <cstdio>
#include <cstring>

namespace vigil::smbios {

SetReading ReadStringSet(const TableView& table, std::size_t start, StringSet* set) {
  set->count = 0;
  std::size_t position = start;
  // A set of no strings is its terminator alone: two NUL bytes.
  if (position < kBufferSize && table.data[position] == 0) {
    return {SetEnd::kComplete, OffsetInBuffer(position, 2)};
  }
  while (position < kBufferSize) {
    if (table.data[position] == 0) return {SetEnd::kComplete, position + 1};
    if (set->count == kMaxStringsPerStructure) return {SetEnd::kTooMany, position};
    set->offsets[set->count++] = static_cast<uint16_t>(position);
    position = OffsetInBuffer(position, TextAt(table, position).size() + 1);
  }
  return {SetEnd::kCutOff, kBufferSize};
}

namespace {

enum class TableLookup { kFound, kTooFew, kNoEntry };

// Looks `key` up in the string table at `start`: entries of key, strings, empty string; an
// empty key ends the table. Every step moves forward, so the walk ends at the buffer end.
TableLookup LookUpStringTable(const TableView& table, std::size_t start, std::string_view key,
                              uint8_t number, std::string_view* text) {
  std::size_t position = start;
  while (position < kBufferSize) {
    std::string_view entryKey = TextAt(table, position);
    if (entryKey.empty()) return TableLookup::kNoEntry;
    position = OffsetInBuffer(position, entryKey.size() + 1);
    const bool match = entryKey == key;
    for (unsigned n = 1; position < kBufferSize; ++n) {
      std::string_view string = TextAt(table, position);
      position = OffsetInBuffer(position, string.size() + 1);
      if (string.empty()) break;  // end of this entry
      if (match && n == number) {
        *text = string;
        return TableLookup::kFound;
      }
    }
    if (match) return TableLookup::kTooFew;
  }
  return TableLookup::kNoEntry;
}

}  // namespace

std::string_view GetSmbiosString(const TableView& table, const Structure& s, const StringSet& set,
                                 uint8_t number) {
  if (number == 0) return {};
  if (!table.stringsApart) {
    if (number > set.count) return kBadStringNumberText;
    return TextAt(table, set.offsets[number - 1]);
  }
  char key[8];
  std::snprintf(key, sizeof key, "%04X", static_cast<unsigned>(s.handle));
  // The first table is asked first; the second only when the first has no entry at all.
  for (std::size_t start : {table.firstStrings, table.secondStrings}) {
    std::string_view text;
    switch (LookUpStringTable(table, start, key, number, &text)) {
      case TableLookup::kFound: return text;
      case TableLookup::kTooFew: return kBadStringNumberText;
      case TableLookup::kNoEntry: break;
    }
  }
  return kNoStringForHandleText;
}

void CopyText(std::string_view text, char* field, std::size_t capacity) {
  std::size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
  if (length > 0) std::memcpy(field, text.data(), length);  // an empty view may have no data
  // NUL-padded to the end: the whole field is published as a sensor name, so no byte of an
  // earlier, longer text may survive behind the terminator.
  std::memset(field + length, 0, capacity - length);
}

}  // namespace vigil::smbios
