#include "dmi_table.h"

#include <cstring>

#include "contract/le_bytes.h"
#include "contract/smbios_types.h"

namespace hwlinux {

namespace {

// 32-bit entry point: "_SM_", length at 05h, version at 06h/07h, "_DMI_" at 10h with the
// structure table length at 16h. Version 2.1 gave the length as 1Eh (no BCD revision byte at
// 1Eh) and firmware of that age still ships it; the kernel exports such an entry point as is.
constexpr size_t kSm32LengthAt = 5, kSm32MajorAt = 6, kSm32MinorAt = 7;
constexpr size_t kSm32DmiAnchorAt = 0x10, kSm32TableLengthAt = 0x16, kSm32MinLength = 0x1E;
// 64-bit entry point: "_SM3_", length at 06h, version at 07h/08h, table maximum size at 0Ch.
constexpr size_t kSm64LengthAt = 6, kSm64MajorAt = 7, kSm64MinorAt = 8;
constexpr size_t kSm64TableLengthAt = 0x0C, kSm64MinLength = 0x18;

}  // namespace

int ParseEntryPoint(const uint8_t* data, size_t length, EntryPoint* out, std::string* problem) {
  *out = EntryPoint();
  if (length >= kSm64MinLength && std::memcmp(data, "_SM3_", 5) == 0) {
    if (data[kSm64LengthAt] < kSm64MinLength || data[kSm64LengthAt] > length) {
      *problem = "64-bit entry point shorter than its length byte says";
      return -1;
    }
    out->bits64 = true;
    out->major = data[kSm64MajorAt];
    out->minor = data[kSm64MinorAt];
    out->tableLength = vigil::le::Load32(data + kSm64TableLengthAt);
    return 0;
  }
  if (length >= kSm32MinLength && std::memcmp(data, "_SM_", 4) == 0) {
    if (data[kSm32LengthAt] < kSm32MinLength || data[kSm32LengthAt] > length ||
        std::memcmp(data + kSm32DmiAnchorAt, "_DMI_", 5) != 0) {
      *problem = "32-bit entry point malformed";
      return -1;
    }
    out->major = data[kSm32MajorAt];
    out->minor = data[kSm32MinorAt];
    out->tableLength = vigil::le::Load16(data + kSm32TableLengthAt);
    return 0;
  }
  *problem = "no _SM_ or _SM3_ anchor";
  return -1;
}

size_t SplitStructures(const uint8_t* data, size_t length, std::vector<RawStructure>* out,
                       std::string* problem) {
  out->clear();
  size_t at = 0;
  while (at + vigil::smbios::kStructureHeaderLength <= length) {
    RawStructure s;
    s.offset = at;
    s.type = data[at];
    s.length = data[at + 1];
    s.handle = vigil::le::Load16(data + at + 2);
    if (s.length < vigil::smbios::kStructureHeaderLength || s.length > length - at) {
      *problem = "structure at byte " + std::to_string(at) + " has a bad length";
      return out->size();
    }
    // The string-set ends with two NUL bytes in a row (right after the formatted area when the
    // structure has no strings).
    size_t end = at + s.length;
    while (end + 1 < length && !(data[end] == 0 && data[end + 1] == 0)) ++end;
    if (end + 1 >= length) {
      *problem = "structure at byte " + std::to_string(at) + " runs past the table's end";
      return out->size();
    }
    s.size = end + 2 - at;
    out->push_back(s);
    if (s.type == vigil::smbios::kTypeEndOfTable) break;
    at += s.size;
  }
  return out->size();
}

std::string StructureString(const uint8_t* table, const RawStructure& s, uint8_t n) {
  if (n == 0) return "";
  size_t at = s.offset + s.length;
  size_t end = s.offset + s.size;
  for (uint8_t i = 1; at < end && table[at] != 0; ++i) {
    size_t stop = at;
    while (stop < end && table[stop] != 0) ++stop;
    if (i == n) return std::string(reinterpret_cast<const char*>(table + at), stop - at);
    at = stop + 1;
  }
  return "";
}

}  // namespace hwlinux
