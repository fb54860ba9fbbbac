// Test-only: builds the driver's 8192-byte SMBIOS table buffer from a list of structures, in
// either layout, so that tests can state a table as data and compare what the parser makes of it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vigil::test {

struct TestStructure {
  uint8_t type = 0;
  uint16_t handle = 0;
  std::vector<uint8_t> formatted;    // the formatted area after the 4-byte header
  std::vector<std::string> strings;  // string 1, string 2, ...
  int declaredLength = -1;           // the length byte; -1: 4 + formatted.size()
};

enum class Layout { kStandard, kStringsApart };

// The whole buffer: header, then the structures in the given layout. In the strings-apart
// layout the strings of even-numbered structures go to the first string table, the others to
// the second, so both tables are exercised. Structures without strings get no entry.
std::vector<uint8_t> BuildSmbiosBuffer(Layout layout, const std::vector<TestStructure>& structures);

// One string table of the strings-apart layout from explicit entries (key, strings), ended by
// the empty key.
struct StringTableEntry {
  std::string key;
  std::vector<std::string> strings;
};
std::vector<uint8_t> StringTableBytes(const std::vector<StringTableEntry>& entries);

// A strings-apart buffer with the given string tables around the structures (whose own strings
// are ignored).
std::vector<uint8_t> BuildStringsApartBuffer(const std::vector<uint8_t>& firstTable,
                                             const std::vector<TestStructure>& structures,
                                             const std::vector<uint8_t>& secondTable);

// The structure table alone in the standard layout (formatted areas and string-sets), as
// firmware lays it out in memory.
std::vector<uint8_t> StandardStructureTable(const std::vector<TestStructure>& structures);

using Uuid = std::array<uint8_t, 16>;

TestStructure SystemInformation(uint16_t handle, const std::string& product, const Uuid& uuid);
// A version 2.0 System Information structure: length 8, no UUID field.
TestStructure SystemInformationWithoutUuid(uint16_t handle, const std::string& product);
// Voltage (26) or temperature (28) probe with its description, location and status.
TestStructure Probe(uint8_t type, uint16_t handle, const std::string& description, uint8_t locationAndStatus);
TestStructure CoolingDevice(uint16_t handle, uint32_t oemDefined);
TestStructure MemoryDevice(uint16_t handle, const std::string& locator);
TestStructure SystemEventLog(uint16_t handle);
TestStructure OemStructure(uint8_t type, uint16_t handle, const std::vector<std::string>& strings);
TestStructure EndOfTable(uint16_t handle);

// A small server of every structure kind the parser takes, ended by type 127: two voltage
// probes, two temperature probes, two cooling devices, two memory devices, an event log and
// an OEM structure. Probe 0x0200 and 0x0300 have kSampleLocationAndStatus.
constexpr Uuid kSampleUuid = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                              0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
constexpr uint8_t kSampleLocationAndStatus = (3 << 5) | 3;  // processor, OK
std::vector<TestStructure> SampleServerTable();

}  // namespace vigil::test
