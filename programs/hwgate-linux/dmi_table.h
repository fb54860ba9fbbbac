// Parsing what the kernel exports of the firmware's SMBIOS data
// (/sys/firmware/dmi/tables/smbios_entry_point and DMI). Pure functions over bytes, no OS
// calls, bounded by the lengths given: the bytes come from firmware and are not trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hwlinux {

struct EntryPoint {
  bool bits64 = false;   // _SM3_ (64-bit) rather than _SM_ (32-bit)
  uint8_t major = 0;
  uint8_t minor = 0;
  uint32_t tableLength = 0;  // _SM_: the exact length; _SM3_: the maximum size
};

// Reads a 32-bit (_SM_) or 64-bit (_SM3_) entry point. Returns 0, or -1 with *problem when
// the bytes are neither (or too short for the length they claim).
int ParseEntryPoint(const uint8_t* data, size_t length, EntryPoint* out, std::string* problem);

// One structure of a standard-layout table: formatted area and string-set, `size` bytes in all
// from `offset`.
struct RawStructure {
  size_t offset = 0;
  size_t size = 0;
  uint8_t type = 0;
  uint8_t length = 0;  // of the formatted area
  uint16_t handle = 0;
};

// Splits a standard-layout table into whole structures, in order, up to and including an
// End-of-Table (type 127) structure or the end of the bytes. A structure whose formatted area
// is shorter than its 4-byte header, or which runs past the end, ends the walk and is left
// out; *problem then says why. Returns the number of structures.
size_t SplitStructures(const uint8_t* data, size_t length, std::vector<RawStructure>* out,
                       std::string* problem);

// String number `n` (from 1) of the structure's string-set; "" for 0 or a missing string.
std::string StructureString(const uint8_t* table, const RawStructure& s, uint8_t n);

}  // namespace hwlinux
