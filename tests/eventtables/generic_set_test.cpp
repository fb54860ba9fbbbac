// The shipped generic event descriptions (fixtures/eventtables/Generic.reg) as the decoder uses
// them on a server model the agent does not know. Expected texts and trap bytes are written here
// from the SMBIOS event log and IPMI sensor tables, not taken from the generator.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "agent/eventlog/event_decoder.h"
#include "agent/eventlog/record_time.h"
#include "agent/eventtables/event_table.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "contract/registry_paths.h"
#include "os/os.h"
#include "support/memory_machine.h"
#include "support/source_path.h"

namespace vigil::test {
namespace {

// Imports the regedit file's string values into the registry (the form the generator writes:
// one key line, then "name"="text" lines).
void ImportRegFixture(const std::string& path) {
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  os::RegHandle key = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[') {
      if (key != nullptr) os::RegCloseKey(key);
      const std::string root = "[HKEY_LOCAL_MACHINE\\";
      ASSERT_EQ(line.compare(0, root.size(), root), 0) << line;
      const std::string subkey = line.substr(root.size(), line.size() - root.size() - 1);
      ASSERT_EQ(os::RegCreateKey(subkey.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    } else if (line.size() > 2 && line.front() == '"') {
      const std::size_t split = line.find("\"=\"");
      ASSERT_NE(split, std::string::npos) << line;
      const std::string name = line.substr(1, split - 1);
      const std::string text = line.substr(split + 3, line.size() - split - 4);
      ASSERT_EQ(os::RegSetValue(key, name.c_str(), os::kRegSz, text.c_str(), uint32_t(text.size() + 1)),
                os::kErrorSuccess);
    }
  }
  if (key != nullptr) os::RegCloseKey(key);
}

void SetProbe(ProbeRecord* probe, uint16_t handle, const char* description) {
  *probe = ProbeRecord{handle, 0x63, {}};
  std::strncpy(probe->description, description, sizeof probe->description - 1);
}

class GenericSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ImportRegFixture(SourcePath("fixtures/eventtables/Generic.reg"));
    ASSERT_EQ(gEventTable.Load(kParametersBasePath, kGenericEventTableName), 0);
    shipped_ = gEventTable.entries();  // as shipped: a test may add an administrator's entry
    gGenericSetInUse = true;
    gModelIndex = kModelUnidentified;
    gInventory = Inventory{};
    SetProbe(&gInventory.voltageProbes[0], 0x40, "+12V");
    gInventory.voltageProbeCount = 1;
    SetProbe(&gInventory.temperatureProbes[0], 0x50, "CPU1 Temp");
    gInventory.temperatureProbeCount = 1;
    gInventory.coolingDevices[0] = CoolingDeviceRecord{0x60, 0, "FAN1"};
    gInventory.coolingDevices[1] = CoolingDeviceRecord{0x61, 0};
    gInventory.coolingDeviceCount = 2;
    gMemoryDeviceMap = {{0x11, "DIMM1"}, {0x12, "DIMM2"}};
  }
  MemoryMachine machine_;
  std::map<std::string, EventDescription, std::less<>> shipped_;

  // The ring entry and the locator the record decodes to.
  static DecodedEvent Decode(uint8_t type, uint32_t firstWord, uint32_t secondWord = 0) {
    // 2004-03-15 10:20:30, then the two words of variable data.
    uint8_t record[16] = {type, 16, 0x04, 0x03, 0x15, 0x10, 0x20, 0x30};
    for (int i = 0; i < 4; ++i) {
      record[8 + i] = uint8_t(firstWord >> (8 * i));
      record[12 + i] = uint8_t(secondWord >> (8 * i));
    }
    DecodedEvent event;
    std::memset(&event, 0x5A, sizeof event);
    DecodeEventRecord(record, sizeof record, &event);
    return event;
  }
};

struct Case {
  uint8_t type;
  uint32_t firstWord;
  uint32_t secondWord;
  const char* text;
  uint8_t sensorType;        // IPMI sensor type
  uint8_t eventReadingType;  // 01 threshold, 6F sensor-specific
  uint8_t offset;            // event data 1
  uint8_t severity;          // PET: 01 monitor, 02 information, 08 non-critical, 10 critical, 20 non-recoverable
};

TEST_F(GenericSetTest, EveryEventTypeReadsAsTheStandardsDescribeIt) {
  const Case cases[] = {
      {0x01, 0x12, 0, "Single-bit ECC memory error corrected: DIMM2", 0x0C, 0x6F, 0, 0x08},
      {0x02, 0x12, 0, "Multi-bit ECC memory error, not corrected: DIMM2", 0x0C, 0x6F, 1, 0x10},
      {0x03, 0, 0, "Memory parity error", 0x0C, 0x6F, 2, 0x10},
      {0x04, 0, 0, "Bus time-out", 0x13, 0x6F, 1, 0x10},
      {0x05, 0, 0, "I/O channel check", 0x13, 0x6F, 2, 0x10},
      {0x06, 0, 0, "Software NMI", 0x13, 0x6F, 3, 0x08},
      {0x07, 0x11, 0, "Memory size reduced at POST, module taken out of use: DIMM1", 0x0E, 0x6F, 0, 0x08},
      {0x08, 0x00000008, 0, "POST error: CMOS battery failure", 0x0F, 0x6F, 0, 0x08},
      {0x08, 0x00001000, 0, "POST error: memory decreased in size", 0x0F, 0x6F, 0, 0x08},
      {0x08, 0x00040000, 0, "POST error: CMOS time not set", 0x0F, 0x6F, 0, 0x08},
      {0x08, 0x01000000, 0x00000080, "POST error: PCI memory conflict", 0x0F, 0x6F, 0, 0x08},
      {0x08, 0x01000000, 0x00400000, "POST error: primary boot device not found", 0x0F, 0x6F, 0, 0x08},
      {0x08, 0x01000000, 0x80000000, "POST error: audio resource conflict", 0x0F, 0x6F, 0, 0x08},
      {0x09, 0, 0, "PCI parity error (PERR)", 0x13, 0x6F, 4, 0x10},
      {0x0A, 0, 0, "PCI system error (SERR)", 0x13, 0x6F, 5, 0x10},
      {0x0B, 0, 0, "Processor failure detected at POST", 0x07, 0x6F, 4, 0x10},
      {0x0C, 0, 0, "EISA fail-safe timer time-out", 0x13, 0x6F, 6, 0x10},
      {0x0D, 0, 0, "Correctable memory error logging disabled", 0x10, 0x6F, 0, 0x08},
      {0x0E, 0, 0, "Logging disabled for one event type: too many such events in a short time", 0x10, 0x6F, 1, 0x08},
      {0x0F, 0, 0, "Event of a reserved type (0Fh)", 0x12, 0x6F, 2, 0x01},
      {0x10, 0x02, 0, "System limit exceeded: +3.3V out of range", 0x02, 0x01, 9, 0x10},
      {0x10, 0x06, 0, "System limit exceeded: -12V out of range", 0x02, 0x01, 9, 0x10},
      {0x10, 0x10, 0, "System limit exceeded: system board temperature out of range", 0x01, 0x01, 9, 0x10},
      {0x10, 0x12, 0, "System limit exceeded: processor 2 temperature out of range", 0x01, 0x01, 9, 0x10},
      {0x10, 0x27, 0, "System limit exceeded: fan 7 out of range", 0x04, 0x01, 2, 0x10},
      {0x10, 0x30, 0, "Chassis secure switch activated", 0x05, 0x6F, 0, 0x08},
      {0x10, 0x80000001, 0, "System limit exceeded", 0x12, 0x6F, 2, 0x08},  // OEM code: the general entry
      {0x11, 0, 0, "Hardware watchdog timer expired and reset the system", 0x23, 0x6F, 1, 0x10},
      {0x12, 0, 0, "System configuration information", 0x12, 0x6F, 0, 0x02},
      {0x13, 0, 0, "Hard disk information", 0x0D, 0x6F, 0, 0x02},
      {0x14, 0, 0, "System reconfigured", 0x12, 0x6F, 0, 0x02},
      {0x15, 0, 0, "Uncorrectable CPU-complex error", 0x07, 0x6F, 6, 0x20},
      {0x16, 0, 0, "Event log area reset or cleared", 0x10, 0x6F, 2, 0x02},
      {0x17, 0, 0, "System boot", 0x1D, 0x6F, 7, 0x02},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << std::hex << int(c.type) << " word " << c.firstWord);
    const DecodedEvent e = Decode(c.type, c.firstWord, c.secondWord);
    EXPECT_STREQ(e.entry.text, c.text);
    EXPECT_EQ(e.entry.sensorType, c.sensorType);
    EXPECT_EQ(e.entry.eventReadingType, c.eventReadingType);
    EXPECT_EQ(e.entry.eventData1, c.offset);
    EXPECT_EQ(e.entry.pet3, c.severity);
    EXPECT_EQ(e.entry.pet4, 0);
    EXPECT_EQ(e.entry.eventData2, 0);
  }
}

TEST_F(GenericSetTest, LimitEventsByHandleNameTheirDevice) {
  const Case cases[] = {
      {0x10, 0x00010050, 0, "System limit exceeded: CPU1 Temp", 0x01, 0x01, 9, 0x10},
      {0x10, 0x00010040, 0, "System limit exceeded: +12V", 0x02, 0x01, 9, 0x10},
      {0x10, 0x00010060, 0, "System limit exceeded: FAN1", 0x04, 0x01, 2, 0x10},   // its description
      {0x10, 0x00010061, 0, "System limit exceeded: Fan 2", 0x04, 0x01, 2, 0x10},  // none: its place
      {0x10, 0x0001ABCD, 0, "System limit exceeded", 0x12, 0x6F, 2, 0x08},  // no such device
      {0x10, 0x00020050, 0, "System limit exceeded", 0x12, 0x6F, 2, 0x08},  // outside the handle range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const DecodedEvent e = Decode(c.type, c.firstWord);
    EXPECT_STREQ(e.entry.text, c.text);
    EXPECT_EQ(e.entry.sensorType, c.sensorType);
    EXPECT_EQ(e.entry.eventReadingType, c.eventReadingType);
    EXPECT_EQ(e.entry.eventData1, c.offset);
    EXPECT_EQ(e.entry.pet3, c.severity);
  }
  EXPECT_STREQ(Decode(0x10, 0x00010050).locator, "CPU1 Temp");
}

TEST_F(GenericSetTest, AnAdministratorsTrapBytesForOneProbeKeepItsName) {
  os::RegHandle key = nullptr;
  const std::string path = std::string(kParametersBasePath) + kEventPetTableName + kGenericEventTableName;
  ASSERT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
  const char armed[] = "1,1,9,3,0,9,0,0";  // temperature, byte 3 = 03: the power-off's event
  ASSERT_EQ(os::RegSetValue(key, "10_00010051", os::kRegSz, armed, sizeof armed), os::kErrorSuccess);
  os::RegCloseKey(key);
  SetProbe(&gInventory.temperatureProbes[1], 0x51, "CPU2 Temp");
  gInventory.temperatureProbeCount = 2;
  ASSERT_EQ(gEventTable.LoadPetTable(kParametersBasePath, kGenericEventTableName), 0);
  const DecodedEvent e = Decode(0x10, 0x00010051);
  EXPECT_STREQ(e.entry.text, "System limit exceeded: CPU2 Temp");
  EXPECT_EQ(e.entry.sensorType, 0x01);
  EXPECT_EQ(e.entry.pet3, 0x03);
}

TEST_F(GenericSetTest, WithoutTheSwitchTheSameTableDecodesAsForAModel) {
  gGenericSetInUse = false;
  const DecodedEvent byHandle = Decode(0x10, 0x00010050);
  EXPECT_STREQ(byHandle.entry.text, "");
  EXPECT_EQ(byHandle.entry.sensorType, 0x12);
  EXPECT_EQ(byHandle.entry.pet3, 0x22);
  EXPECT_STREQ(Decode(0x10, 0x80000001).entry.text, "");
}

TEST_F(GenericSetTest, CoversEveryTypeAndPostBitAndNeverArmsThePowerOff) {
  for (uint32_t type = 0x01; type <= 0x17; ++type) {
    EXPECT_STRNE(gEventTable.LookupText(type, kGeneralEventCode), "") << type;
  }
  for (uint32_t bit = 0; bit < 32; ++bit) {
    if (bit != 24) {  // bit 24 says the second word is valid: it forms no code
      EXPECT_NE(gEventTable.LookupPet(0x08, bit), nullptr) << bit;
    }
    EXPECT_NE(gEventTable.LookupPet(0x08, 0x100 + bit), nullptr) << bit;
  }
  for (const auto& [key, description] : shipped_) {
    EXPECT_FALSE(description.pet[0] == 0x01 && description.pet[3] == 0x03) << key;
  }
  // Processor temperature limits stamped this very minute are not the over-temperature event.
  static std::time_t now;
  gNow = [] { return now; };
  for (uint8_t code : {0x11, 0x12, 0x13, 0x14}) {
    uint8_t record[12] = {0x10, 12, 0x04, 0x03, 0x15, 0x10, 0x21, 0x00, code, 0, 0, 0};
    now = RecordCalendarTime(record + 2);
    DecodedEvent event;
    EXPECT_FALSE(DecodeEventRecord(record, sizeof record, &event)) << int(code);
  }
}

}  // namespace
}  // namespace vigil::test
