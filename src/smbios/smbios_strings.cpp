#include "smbios/smbios_strings.h"

#include <algorithm>
#include <cstring>

namespace vigil::smbios {

std::size_t ReadStringSet(const TableView& table, std::size_t start, StringSet* set) {
  set->count = 0;
  std::size_t position = start;
  // A set of no strings is its terminator alone: two NUL bytes.
  if (position < kBufferSize && table.data[position] == 0) {
    return OffsetInBuffer(position, 2);
  }
  while (position < kBufferSize) {
    if (table.data[position] == 0) return position + 1;
    if (set->count < kMaxStringsPerStructure) set->offsets[set->count++] = static_cast<uint16_t>(position);
    position = OffsetInBuffer(position, TextAt(table, position).size() + 1);
  }
  return kBufferSize;
}

namespace {

enum class TableLookup { kFound, kTooFew, kNoEntry };

// String `number` of the entry whose key is `key` in one indexed table.
TableLookup LookUpStringTable(const TableView& table, const std::vector<StringTableIndex::Entry>& entries,
                              std::string_view key, uint8_t number, std::string_view* text) {
  auto entry = std::lower_bound(entries.begin(), entries.end(), key,
                                [](const StringTableIndex::Entry& e, std::string_view k) { return e.key < k; });
  if (entry == entries.end() || entry->key != key) return TableLookup::kNoEntry;
  std::size_t position = entry->strings;
  for (unsigned n = 1; position < kBufferSize; ++n) {
    std::string_view string = TextAt(table, position);
    if (string.empty()) break;  // end of this entry
    if (n == number) {
      *text = string;
      return TableLookup::kFound;
    }
    position = OffsetInBuffer(position, string.size() + 1);
  }
  return TableLookup::kTooFew;
}

void IndexTable(const TableView& table, std::size_t start, std::vector<StringTableIndex::Entry>* entries) {
  entries->clear();
  // Every step moves forward, so the walk ends at the buffer end.
  std::size_t position = start;
  while (position < kBufferSize) {
    std::string_view key = TextAt(table, position);
    if (key.empty()) break;
    position = OffsetInBuffer(position, key.size() + 1);
    entries->push_back({key, position});
    while (position < kBufferSize) {
      std::string_view string = TextAt(table, position);
      position = OffsetInBuffer(position, string.size() + 1);
      if (string.empty()) break;
    }
  }
  // Stable, and duplicates dropped after the first: the entry a walk from the start finds.
  std::stable_sort(entries->begin(), entries->end(),
                   [](const StringTableIndex::Entry& a, const StringTableIndex::Entry& b) { return a.key < b.key; });
  entries->erase(std::unique(entries->begin(), entries->end(),
                             [](const StringTableIndex::Entry& a, const StringTableIndex::Entry& b) {
                               return a.key == b.key;
                             }),
                 entries->end());
}

}  // namespace

std::string_view GetSmbiosString(const TableView& table, const Structure& s, const StringSet& set,
                                 uint8_t number) {
  if (number == 0) return {};
  if (!table.stringsApart) {
    if (number > set.count) return kBadStringNumberText;
    return TextAt(table, set.offsets[number - 1]);
  }
  // The handle in upper-case hexadecimal, four digits: a u16 never needs more.
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const char key[4] = {kDigits[s.handle >> 12], kDigits[s.handle >> 8 & 0xF], kDigits[s.handle >> 4 & 0xF],
                       kDigits[s.handle & 0xF]};
  // The first table is asked first; the second only when the first has no entry at all.
  for (const auto& entries : table.index->tables) {
    std::string_view text;
    switch (LookUpStringTable(table, entries, std::string_view(key, sizeof key), number, &text)) {
      case TableLookup::kFound: return text;
      case TableLookup::kTooFew: return kBadStringNumberText;
      case TableLookup::kNoEntry: break;
    }
  }
  return kNoStringForHandleText;
}

void IndexStringTables(const TableView& table, StringTableIndex* index) {
  IndexTable(table, table.firstStrings, &index->tables[0]);
  IndexTable(table, table.secondStrings, &index->tables[1]);
}

void CopyText(std::string_view text, char* field, std::size_t capacity) {
  std::size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
  if (length > 0) std::memcpy(field, text.data(), length);  // an empty view may have no data
  // NUL-padded to the end: the whole field is published as a sensor name, so no byte of an
  // earlier, longer text may survive behind the terminator.
  std::memset(field + length, 0, capacity - length);
}

}  // namespace vigil::smbios
