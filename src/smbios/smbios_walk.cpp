#include "smbios/smbios_walk.h"

#include "contract/le_bytes.h"
#include "contract/smbios_types.h"

namespace vigil::smbios {
namespace {

// Where the walk goes after `s` (the buffer end when its string-set never ends); reads the
// string-set of `s` into `set` in the standard layout.
void FindNext(const TableView& table, const Structure& s, StringSet* set, std::size_t* next) {
  set->count = 0;
  const std::size_t afterFormatted = OffsetInBuffer(s.offset, s.length);
  if (table.stringsApart) {
    *next = afterFormatted;
    if (IsStringlessType(s.type) && afterFormatted + 1 < kBufferSize && table.data[afterFormatted] == 0 &&
        table.data[afterFormatted + 1] == 0) {
      *next = afterFormatted + 2;  // an empty string-set left behind all the same
    }
    return;
  }
  // The string-less types are followed by an empty set (two NULs), which the set reader steps
  // over just the same. Should one carry strings after all (newer firmware gives cooling
  // devices a description), stepping over the whole set keeps the walk on structure
  // boundaries instead of reading text as structures.
  *next = ReadStringSet(table, afterFormatted, set);
}

}  // namespace

bool WalkSmbiosTable(const uint8_t* buffer, StructureVisitor visit, void* context) {
  const uint32_t kind = HeaderU32(buffer, kSmbiosLayoutKind);
  if (kind == kSmbiosLayoutNone) return false;

  // Kept from walk to walk: its vectors keep their room, so a walk allocates nothing new.
  // One walk at a time per thread.
  thread_local StringTableIndex index;
  TableView table{buffer, kind == kSmbiosLayoutStringsApart, kBufferSize, kBufferSize, &index};
  if (table.stringsApart) {
    table.firstStrings = kSmbiosDataArea;
    table.secondStrings = OffsetInBuffer(kSmbiosDataArea, HeaderU32(buffer, kSmbiosSecondStringTable));
    IndexStringTables(table, &index);
  }

  const std::size_t first = OffsetInBuffer(kSmbiosDataArea, HeaderU32(buffer, kSmbiosFirstStructure));
  // The table length may claim more than the buffer holds; the buffer end bounds the walk.
  const uint64_t claimedEnd = uint64_t{first} + HeaderU32(buffer, kSmbiosTableLength);
  const std::size_t end = claimedEnd < kBufferSize ? static_cast<std::size_t>(claimedEnd) : kBufferSize;

  std::size_t position = first;
  while (position < end && kBufferSize - position >= kStructureHeaderLength) {
    Structure s{position, 0, buffer[position], buffer[position + 1], 0};
    // A length below the header's own size would never move the walk forward.
    if (s.length < kStructureHeaderLength) break;
    if (s.type == kTypeEndOfTable || s.type == kTypeLast) break;
    s.handle = le::Load16(buffer + position + 2);
    s.available = s.length < kBufferSize - position ? s.length : kBufferSize - position;

    StringSet set;
    std::size_t next = kBufferSize;
    FindNext(table, s, &set, &next);
    visit(table, s, set, context);
    position = next;
  }
  return true;
}

}  // namespace vigil::smbios
