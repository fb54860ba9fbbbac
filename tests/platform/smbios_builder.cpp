#include "smbios_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vigil::test {

namespace {

constexpr std::size_t kBufferSize = 8192;
constexpr std::size_t kDataArea = 20;

void PutU16(std::vector<uint8_t>* bytes, std::size_t at, uint16_t value) {
  (*bytes)[at] = static_cast<uint8_t>(value);
  (*bytes)[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>* bytes, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void AppendText(std::vector<uint8_t>* bytes, const std::string& text) {
  bytes->insert(bytes->end(), text.begin(), text.end());
  bytes->push_back(0);
}

void AppendFormatted(std::vector<uint8_t>* bytes, const TestStructure& s) {
  bytes->push_back(s.type);
  bytes->push_back(static_cast<uint8_t>(s.declaredLength >= 0 ? s.declaredLength : 4 + s.formatted.size()));
  bytes->push_back(static_cast<uint8_t>(s.handle));
  bytes->push_back(static_cast<uint8_t>(s.handle >> 8));
  bytes->insert(bytes->end(), s.formatted.begin(), s.formatted.end());
}

// The entries of every other structure that has strings, starting at `parity`.
std::vector<StringTableEntry> EntriesOf(const std::vector<TestStructure>& structures, std::size_t parity) {
  std::vector<StringTableEntry> entries;
  for (std::size_t i = parity; i < structures.size(); i += 2) {
    if (structures[i].strings.empty()) continue;
    char key[8];
    std::snprintf(key, sizeof key, "%04X", structures[i].handle);
    entries.push_back({key, structures[i].strings});
  }
  return entries;
}

std::vector<uint8_t> WithHeader(uint32_t kind, uint32_t firstStructure, uint32_t secondStrings,
                                uint32_t tableLength, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> buffer(kBufferSize, 0);
  PutU32(&buffer, 0, kind);
  PutU32(&buffer, 8, firstStructure);
  PutU32(&buffer, 12, secondStrings);
  PutU32(&buffer, 16, tableLength);
  std::memcpy(buffer.data() + kDataArea, data.data(), std::min(data.size(), kBufferSize - kDataArea));
  return buffer;
}

std::vector<uint8_t> Formatted(std::size_t length) { return std::vector<uint8_t>(length - 4, 0); }

}  // namespace

std::vector<uint8_t> StandardStructureTable(const std::vector<TestStructure>& structures) {
  std::vector<uint8_t> table;
  for (const TestStructure& s : structures) {
    AppendFormatted(&table, s);
    for (const std::string& text : s.strings) AppendText(&table, text);
    if (s.strings.empty()) table.push_back(0);
    table.push_back(0);
  }
  return table;
}

std::vector<uint8_t> StringTableBytes(const std::vector<StringTableEntry>& entries) {
  std::vector<uint8_t> table;
  for (const StringTableEntry& entry : entries) {
    AppendText(&table, entry.key);
    for (const std::string& s : entry.strings) AppendText(&table, s);
    table.push_back(0);
  }
  table.push_back(0);
  return table;
}

std::vector<uint8_t> BuildStringsApartBuffer(const std::vector<uint8_t>& firstTable,
                                             const std::vector<TestStructure>& structures,
                                             const std::vector<uint8_t>& secondTable) {
  std::vector<uint8_t> data = firstTable;
  const uint32_t firstStructure = static_cast<uint32_t>(data.size());
  for (const TestStructure& s : structures) AppendFormatted(&data, s);
  const uint32_t secondStrings = static_cast<uint32_t>(data.size());
  data.insert(data.end(), secondTable.begin(), secondTable.end());
  return WithHeader(2, firstStructure, secondStrings, secondStrings - firstStructure, data);
}

std::vector<uint8_t> BuildSmbiosBuffer(Layout layout, const std::vector<TestStructure>& structures) {
  if (layout == Layout::kStringsApart) {
    return BuildStringsApartBuffer(StringTableBytes(EntriesOf(structures, 0)), structures,
                                   StringTableBytes(EntriesOf(structures, 1)));
  }
  std::vector<uint8_t> data = StandardStructureTable(structures);
  return WithHeader(1, 0, 0, static_cast<uint32_t>(data.size()), data);
}

TestStructure SystemInformation(uint16_t handle, const std::string& product, const Uuid& uuid) {
  TestStructure s{1, handle, Formatted(0x19), {"Kelvo Systems", product, "1.0", "SN0001"}};
  s.formatted[0x04 - 4] = 1;  // manufacturer
  s.formatted[0x05 - 4] = 2;  // product name
  s.formatted[0x06 - 4] = 3;  // version
  s.formatted[0x07 - 4] = 4;  // serial number
  std::memcpy(&s.formatted[0x08 - 4], uuid.data(), uuid.size());
  s.formatted[0x18 - 4] = 6;  // wake-up type: power switch
  return s;
}

TestStructure SystemInformationWithoutUuid(uint16_t handle, const std::string& product) {
  TestStructure s{1, handle, Formatted(0x08), {"Kelvo Systems", product}};
  s.formatted[0x04 - 4] = 1;
  s.formatted[0x05 - 4] = 2;
  return s;
}

TestStructure Probe(uint8_t type, uint16_t handle, const std::string& description, uint8_t locationAndStatus) {
  TestStructure s{type, handle, Formatted(0x16), {description}};
  s.formatted[0x04 - 4] = 1;
  s.formatted[0x05 - 4] = locationAndStatus;
  for (std::size_t field = 0x06; field <= 0x0E; field += 2) {  // max, min, resolution, tolerance, accuracy
    s.formatted[field - 4] = 0x00;
    s.formatted[field + 1 - 4] = 0x80;  // unknown
  }
  s.formatted[0x14 - 4] = 0x00;
  s.formatted[0x15 - 4] = 0x80;  // nominal value unknown
  return s;
}

TestStructure CoolingDevice(uint16_t handle, uint32_t oemDefined) {
  TestStructure s{27, handle, Formatted(0x0E), {}};
  s.formatted[0x04 - 4] = 0xFF;  // no temperature probe
  s.formatted[0x05 - 4] = 0xFF;
  s.formatted[0x06 - 4] = (3 << 5) | 3;  // fan, OK
  for (int i = 0; i < 4; ++i) s.formatted[0x08 - 4 + i] = static_cast<uint8_t>(oemDefined >> (8 * i));
  s.formatted[0x0C - 4] = 0x00;
  s.formatted[0x0D - 4] = 0x80;  // nominal speed unknown
  return s;
}

TestStructure MemoryDevice(uint16_t handle, const std::string& locator) {
  TestStructure s{17, handle, Formatted(0x15), {locator, "BANK 0"}};
  s.formatted[0x04 - 4] = 0xFE;  // physical memory array handle 0xFFFE
  s.formatted[0x05 - 4] = 0xFF;
  s.formatted[0x06 - 4] = 0xFE;  // no error information
  s.formatted[0x07 - 4] = 0xFF;
  s.formatted[0x08 - 4] = 72;    // total width
  s.formatted[0x0A - 4] = 64;    // data width
  s.formatted[0x0C - 4] = 0x00;  // 8192 MB
  s.formatted[0x0D - 4] = 0x20;
  s.formatted[0x0E - 4] = 0x09;  // DIMM
  s.formatted[0x10 - 4] = 1;     // device locator
  s.formatted[0x11 - 4] = 2;     // bank locator
  s.formatted[0x12 - 4] = 0x1A;  // DDR4
  s.formatted[0x13 - 4] = 0x80;  // synchronous
  return s;
}

TestStructure SystemEventLog(uint16_t handle) {
  TestStructure s{15, handle, Formatted(0x17), {}};
  PutU16(&s.formatted, 0x04 - 4, 0x1000);  // log area length
  PutU16(&s.formatted, 0x08 - 4, 0x0010);  // log data start offset
  s.formatted[0x0A - 4] = 0x03;            // access method: 32-bit physical address
  s.formatted[0x0B - 4] = 0x01;            // log area valid
  PutU32(&s.formatted, 0x10 - 4, 0xFFE00000);
  return s;
}

TestStructure OemStructure(uint8_t type, uint16_t handle, const std::vector<std::string>& strings) {
  return TestStructure{type, handle, {0x01, 0x02}, strings};
}

TestStructure EndOfTable(uint16_t handle) { return TestStructure{127, handle, {}, {}}; }

std::vector<TestStructure> SampleServerTable() {
  return {
      SystemInformation(0x0100, "Kelvo B720", kSampleUuid),
      Probe(26, 0x0200, "CPU1 Vcore", kSampleLocationAndStatus),
      Probe(26, 0x0201, "P3V3", 0x64),
      Probe(28, 0x0300, "CPU1 Temp", kSampleLocationAndStatus),
      OemStructure(0x85, 0x0A00, {"oem one", "oem two"}),
      Probe(28, 0x0301, "Ambient", 0x67),
      CoolingDevice(0x0400, 0x00010002),
      MemoryDevice(0x1100, "DIMM_A1"),
      SystemEventLog(0x0F00),
      CoolingDevice(0x0401, 0x00020001),
      MemoryDevice(0x1101, "DIMM_B1"),
      EndOfTable(0x7F00),
  };
}

}  // namespace vigil::test
