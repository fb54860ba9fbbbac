#include "smbios/smbios_table_view.h"

#include <cstring>

#include "contract/le_bytes.h"

namespace vigil::smbios {

uint32_t HeaderU32(const uint8_t* data, std::size_t offset) {
  return le::Load32(data + offset);
}

std::size_t OffsetInBuffer(std::size_t base, uint64_t add) {
  if (base >= kBufferSize || add >= kBufferSize - base) return kBufferSize;
  return base + static_cast<std::size_t>(add);
}

bool HasField(const Structure& s, std::size_t field, std::size_t width) {
  return field <= s.available && width <= s.available - field;
}

namespace {

uint32_t FieldBytes(const TableView& table, const Structure& s, std::size_t field, std::size_t width) {
  if (!HasField(s, field, width)) return 0;
  return le::LoadN(table.data + s.offset + field, static_cast<unsigned>(width));
}

}  // namespace

uint8_t FieldU8(const TableView& table, const Structure& s, std::size_t field) {
  return static_cast<uint8_t>(FieldBytes(table, s, field, 1));
}

uint16_t FieldU16(const TableView& table, const Structure& s, std::size_t field) {
  return static_cast<uint16_t>(FieldBytes(table, s, field, 2));
}

uint32_t FieldU32(const TableView& table, const Structure& s, std::size_t field) {
  return FieldBytes(table, s, field, 4);
}

std::string_view TextAt(const TableView& table, std::size_t offset) {
  if (offset >= kBufferSize) return {};
  const char* start = reinterpret_cast<const char*>(table.data + offset);
  const void* nul = std::memchr(start, 0, kBufferSize - offset);
  std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - start)
                           : kBufferSize - offset;
  return {start, length};
}

}  // namespace vigil::smbios
