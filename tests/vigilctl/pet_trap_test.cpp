// The PET varbind and trap number of a history entry, against bytes worked out by hand from
// the PET v1.0 field table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pet_trap.h"

namespace vigilctl {
namespace {

vigil::HistoryEntry Entry(int32_t time, uint8_t sensorType, uint8_t readingType, uint8_t data1, const char* text) {
  vigil::HistoryEntry e{};
  e.recordType = 2;
  e.time = time;
  e.generatorIdLow = 0x21;
  e.evmRev = 3;
  e.sensorType = sensorType;
  e.sensorNumber = 0xFF;
  e.eventReadingType = readingType;
  e.eventData1 = data1;
  e.eventData2 = 0xAB;
  e.eventData3 = 0xCD;
  std::strncpy(e.text, text, sizeof e.text - 1);
  e.pet3 = 0x20;
  e.pet4 = 0x01;
  return e;
}

const uint8_t kUuid[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                           0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

TEST(PetTrap, UncorrectableMemoryErrorAsBytes) {
  // 2001-09-09 01:46:40 UTC seen from UTC+01:00: 116390800 local seconds after 1998-01-01.
  const vigil::HistoryEntry e = Entry(1000000000, 0x0C, 0x6F, 0x01, "ECC A1");
  const std::vector<uint8_t> expected = {
      0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF,  // GUID
      0x12, 0x34,              // sequence
      0x06, 0xEF, 0xFB, 0x90,  // local timestamp
      0x00, 0x3C,              // UTC offset +60 min
      0x10,                    // trap source: system management software
      0x08,                    // event source: generator 21h is an SMI handler
      0x10,                    // severity: critical (uncorrectable ECC)
      0x21, 0xFF,              // sensor device, sensor number
      0x20, 0x01,              // entity, instance (PET bytes 3 and 4)
      0x01, 0xAB, 0xCD, 0x00, 0x00, 0x00, 0x00, 0x00,  // event data
      0x19,                    // English
      0x00, 0x00, 0x00, 0x00,  // manufacturer
      0x00, 0x00,              // system ID
      0xC6, 'E', 'C', 'C', ' ', 'A', '1', 0xC1};
  EXPECT_EQ(EncodePetVarbind(PetFromEntry(e, kUuid, 0x1234, 60)), expected);
  EXPECT_EQ(PetSpecificTrap(e), 814849u);  // 0C 6F 01
}

TEST(PetTrap, UnknownTimeAndDeassertion) {
  const vigil::HistoryEntry e = Entry(0, 0x01, 0x81, 0x09, "");
  const std::vector<uint8_t> bytes = EncodePetVarbind(PetFromEntry(e, kUuid, 1, -300));
  ASSERT_EQ(bytes.size(), 47u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 18, bytes.begin() + 24),
            (std::vector<uint8_t>{0, 0, 0, 0, 0xFF, 0xFF}));  // both unspecified
  EXPECT_EQ(bytes[26], 0x04);                                 // deasserted: OK
  EXPECT_EQ(bytes.back(), 0xC1);
  EXPECT_EQ(PetSpecificTrap(e), 0x010189u);  // deassertion bit 80h beside offset 9
}

TEST(PetTrap, TextFieldsNeverLeaveALoneByte) {
  struct Case {
    std::size_t length;
    std::vector<uint8_t> typeLengths;  // the 0xC0|n bytes in order, then C1
  } cases[] = {{1, {0xC2, 0xC1}}, {2, {0xC2, 0xC1}}, {63, {0xFF, 0xC1}}, {64, {0xFE, 0xC2, 0xC1}},
               {199, {0xFF, 0xFF, 0xFF, 0xCA, 0xC1}}};
  for (const Case& c : cases) {
    const vigil::HistoryEntry e = Entry(5, 0x12, 0x6F, 1, std::string(c.length, 'x').c_str());
    const std::vector<uint8_t> bytes = EncodePetVarbind(PetFromEntry(e, kUuid, 1, 0));
    std::vector<uint8_t> seen;
    for (std::size_t at = 46; at < bytes.size(); at += (bytes[at] & 0x3F) + 1) {
      seen.push_back(bytes[at]);
      if (bytes[at] == 0xC1) break;
    }
    EXPECT_EQ(seen, c.typeLengths) << c.length;
  }
}

TEST(PetTrap, SeverityFromTypeAndOffset) {
  struct Case {
    uint8_t sensorType, readingType, data1, severity;
  } cases[] = {
      {0x01, 0x01, 0x09, kSeverityCritical},        // upper critical going high
      {0x01, 0x01, 0x0B, kSeverityNonRecoverable},  // upper non-recoverable
      {0x02, 0x01, 0x00, kSeverityNonCritical},     // lower non-critical
      {0x04, 0x07, 0x00, kSeverityOk},              // transition to OK
      {0x0C, 0x6F, 0x00, kSeverityNonCritical},     // correctable ECC
      {0x13, 0x6F, 0x04, kSeverityCritical},        // PCI PERR
      {0x12, 0x6F, 0x01, kSeverityInformation},     // the decoder's default event
      {0x0C, 0xEF, 0x01, kSeverityOk},              // deassertion
  };
  for (const Case& c : cases) {
    EXPECT_EQ(+PetEventSeverity(Entry(5, c.sensorType, c.readingType, c.data1, "")), +c.severity)
        << std::hex << +c.sensorType << " " << +c.readingType << " " << +c.data1;
  }
}

}  // namespace
}  // namespace vigilctl
