// Bounded access to the 8192-byte SMBIOS table buffer. The buffer comes from the driver and is
// untrusted: every offset and length in it may point anywhere, so every read goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "contract/driver_protocol.h"

namespace vigil::smbios {

constexpr std::size_t kBufferSize = kSmbiosTableSize;

struct StringTableIndex;

// The whole buffer and what its header says about the layout.
struct TableView {
  const uint8_t* data;       // kBufferSize bytes
  bool stringsApart;         // layout kind 2
  std::size_t firstStrings;  // buffer offsets of the two string tables (kBufferSize: none)
  std::size_t secondStrings;
  const StringTableIndex* index;  // layout kind 2: the entries of both tables by key
};

// One structure as met by the walk. `available` is the part of the formatted area inside the
// buffer: never more than the declared length, never past the buffer end.
struct Structure {
  std::size_t offset;
  std::size_t available;
  uint8_t type;
  uint8_t length;
  uint16_t handle;
};

// u32 of the header; the header always lies inside the buffer.
uint32_t HeaderU32(const uint8_t* data, std::size_t offset);

// Buffer offset `base` + `add`, or kBufferSize when that falls outside (no overflow either).
std::size_t OffsetInBuffer(std::size_t base, uint64_t add);

// Fields of the formatted area. A field not wholly inside `available` reads as zero: bytes past
// the formatted area belong to strings or to the next structure, not to this field.
uint8_t FieldU8(const TableView& table, const Structure& s, std::size_t field);
uint16_t FieldU16(const TableView& table, const Structure& s, std::size_t field);
uint32_t FieldU32(const TableView& table, const Structure& s, std::size_t field);
bool HasField(const Structure& s, std::size_t field, std::size_t width);

// The NUL-terminated text at `offset`, cut at the buffer end when no NUL follows.
std::string_view TextAt(const TableView& table, std::size_t offset);

}  // namespace vigil::smbios
