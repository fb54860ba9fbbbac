// What vigilctl shows for sensor records and the block header.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "sensor_view.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "uuid_text.h"

namespace vigilctl {
namespace {

namespace b = vigil::block;
namespace sensor = vigil::sensor;

class SensorViewTest : public ::testing::Test {
 protected:
  SensorViewTest() : block_(b::kSize, 0) {}
  uint8_t* Put(std::size_t i, uint8_t owner, uint8_t type, uint8_t number, const char* name, float reading,
               uint16_t state) {
    uint8_t* r = block_.data() + b::SensorRecordOffset(i);
    r[sensor::kOwnerId] = owner;
    r[sensor::kSensorType] = type;
    r[sensor::kSensorNumber] = number;
    std::memcpy(r + sensor::kName, name, std::strlen(name));
    b::StoreF32(r, sensor::kReading, reading);
    b::StoreU16(r, sensor::kState, state);
    return r;
  }
  std::vector<uint8_t> block_;
};

TEST_F(SensorViewTest, RowsCarryTrimmedNamesAndTypeNamesForCompactRecords) {
  Put(0, 0x21, 1, 0x09, "CPU 1 Temp                    ", 25.0f, 0);
  Put(1, 0x21, 8, 0x5A, "", 0.0f, 0);
  Put(2, 0x01, 0x0F, 0x01, "", 0.0f, 0);
  b::StoreU16(block_.data(), b::kSensorCount, 3);
  std::vector<SensorRow> rows = ReadSensorRows(block_.data(), SensorKind::kAll);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "CPU 1 Temp");
  EXPECT_EQ(rows[1].name, "Power Supply");
  EXPECT_EQ(rows[2].name, "System Firmware Progress");
  EXPECT_EQ(rows[2].ownerId, 0x01);
  EXPECT_EQ(rows[1].sensorNumber, 0x5A);
}

TEST_F(SensorViewTest, KindFilterAndBoundedCount) {
  for (std::size_t i = 0; i < b::kMaxSensors; ++i) Put(i, 0x21, 1 + i % 4, 0, "x", 1.0f, 0);
  b::StoreU16(block_.data(), b::kSensorCount, 0xFFFF);
  EXPECT_EQ(ReadSensorRows(block_.data(), SensorKind::kAll).size(), b::kMaxSensors);
  std::vector<SensorRow> fans = ReadSensorRows(block_.data(), SensorKind::kFan);
  ASSERT_EQ(fans.size(), 32u);  // types 1, 2, 3, 4 in turn: every fourth is a fan
  EXPECT_EQ(fans[0].index, 3u);
  EXPECT_EQ(ReadSensorRows(block_.data(), SensorKind::kVoltage).size(), 32u);
}

TEST_F(SensorViewTest, ReadingsWithUnitsAndTheNoReadingMarker) {
  struct Case { uint8_t type; float reading; const char* text; };
  const Case cases[] = {
      {1, 25.0f, "25.0 \u00B0C"}, {1, -1048575.0f, "no reading"}, {2, 3300 * 0.001f, "3.300 V"},
      {2, -(12000 * 0.001f), "-12.000 V"}, {2, -1048575.0f, "no reading"}, {4, 3000.0f, "3000 RPM"},
      {8, 0.0f, "-"}};
  for (const Case& c : cases) EXPECT_EQ(FormatReading(c.type, c.reading), c.text);
}

TEST_F(SensorViewTest, StateNames) {
  const char* names[] = {"OK", "Unknown", "Critical", "Non-critical", "Non-recoverable", "Other"};
  for (uint16_t s = 0; s < 6; ++s) EXPECT_EQ(StateName(s), names[s]);
  EXPECT_EQ(StateName(0xFFFF), "state 65535");
}

TEST_F(SensorViewTest, JsonHoldsRawNumbersAndEscapesHostileNames) {
  Put(0, 0x21, 2, 0x11, "Vc\"o\\re\x01\xE9", -0.0f, 3);
  Put(1, 0x21, 1, 0x09, "T", -1048575.0f, 5);
  b::StoreU16(block_.data(), b::kSensorCount, 2);
  std::string json = SensorTableJson(ReadSensorRows(block_.data(), SensorKind::kAll));
  EXPECT_NE(json.find("{\"index\": 0, \"name\": \"Vc\\\"o\\\\re\\u0001\\u00e9\", \"sensorType\": 2, "
                      "\"sensorNumber\": 17, \"ownerId\": 33, \"reading\": -0, \"state\": 3}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"reading\": -1048575,"), std::string::npos) << json;
}

TEST(UuidTextTest, FirstThreeFieldsAreStoredLittleEndian) {
  const uint8_t bytes[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                             0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(UuidText(bytes), "00112233-4455-6677-8899-aabbccddeeff");
}

// A label may not write to the terminal: ESC, CSI (C1), BEL, CR and DEL come out as text.
TEST_F(SensorViewTest, NamesInTheTableCannotSendTerminalControls) {
  struct Case {
    const char* name;
    const char* shown;
  };
  const Case cases[] = {
      {"\x1b[2J\x1b]0;pwned\x07", "\\x1B[2J\\x1B]0;pwned\\x07"},
      {"CPU\rFAN", "CPU\\x0DFAN"},
      {"a\x7f" "b", "a\\x7Fb"},
      {"\xc2\x9b" "31m", "\\u009B31m"},
      {"C:\\x", "C:\\\\x"},
      {"\xff" "T", "\xef\xbf\xbd" "T"},
      {"Temp \xc2\xb0" "C", "Temp \xc2\xb0" "C"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TerminalText(c.name), c.shown) << c.name;
    std::fill(block_.begin(), block_.end(), 0);
    Put(0, 0x21, 1, 1, c.name, 20.0f, 0);
    b::StoreU16(block_.data(), b::kSensorCount, 1);
    const std::string table = SensorTableText(ReadSensorRows(block_.data(), SensorKind::kAll));
    EXPECT_NE(table.find(c.shown), std::string::npos) << table;
    const std::string body = table.substr(table.find('\n') + 1);
    EXPECT_EQ(std::count_if(body.begin(), body.end(), [](char ch) { return (ch >= 0 && ch < 0x20) || ch == 0x7f; }),
              1) << table;  // the line feed alone
  }
}

}  // namespace
}  // namespace vigilctl
