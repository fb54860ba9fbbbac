// The table buffer in both layouts, read back by an independent reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/smbios_builder.h"
#include "core_fixture.h"
#include "scenario/structure_list.h"
#include "table_reader.h"

namespace {

using hwsim::BuildResult;
using hwsim::Layout;
using hwsim::OwnedStructure;

std::vector<OwnedStructure> SampleServer() {
  std::vector<OwnedStructure> list(6);
  list[0] = {1, 0x0001, std::vector<uint8_t>(21, 0x11), {"Kelvo", "Kelvo B720", "1.0", "SN-1"}, 1};
  list[1] = {17, 0x00A5, std::vector<uint8_t>(23, 0), {"DIMM_A1", "BANK 0"}, 2};
  // A probe: location/status 0xA3, nominal value 452 at offset 0x14.
  std::vector<uint8_t> probe(18, 0);
  probe[1] = 0xA3;
  probe[16] = 452 & 0xFF;
  probe[17] = 452 >> 8;
  list[2] = {28, 0x12AB, probe, {"CPU1 Temp"}, 1};
  // A fan: device type and status 0x63, nominal speed 3000 at offset 0x0C.
  std::vector<uint8_t> fan(10, 0);
  fan[2] = 0x63;
  fan[8] = 3000 & 0xFF;
  fan[9] = 3000 >> 8;
  list[3] = {27, 0x0060, fan, {}, 2};
  list[4] = {0, 0x0000, std::vector<uint8_t>(16, 0), {"Kelvo Systems", "B720.1.07"}, 2};
  list[5] = {127, 0x007F, {}, {}, 1};
  return list;
}

class BothLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(BothLayouts, EveryStructureAndStringReadsBack) {
  auto core = simtest::NewCore();
  std::vector<OwnedStructure> list = SampleServer();
  uint32_t failed = 99;
  ASSERT_EQ(hwsim::BuildTable(*core, GetParam(), list, &failed), BuildResult::kOk);
  EXPECT_EQ(simtest::U32(core->smbios), static_cast<uint32_t>(GetParam()));
  std::vector<simtest::ReadStructure> read = simtest::ReadTable(core->smbios);
  ASSERT_EQ(read.size(), list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(read[i].type, list[i].type);
    EXPECT_EQ(read[i].handle, list[i].handle);
    EXPECT_EQ(read[i].formatted, list[i].formatted);
    EXPECT_EQ(read[i].strings, list[i].strings);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, BothLayouts, ::testing::Values(Layout::kStandard, Layout::kStringsApart),
    [](const auto& info) { return info.param == Layout::kStandard ? "Standard" : "StringsApart"; });

TEST(StringsApart, KeysAreFourUppercaseDigitsInTheChosenTable) {
  auto core = simtest::NewCore();
  uint32_t failed;
  ASSERT_EQ(hwsim::BuildTable(*core, Layout::kStringsApart, SampleServer(), &failed), BuildResult::kOk);
  const uint8_t* data = core->smbios + 20;
  auto first = simtest::ReadStringTable(data, core->smbios + 8192);
  auto second = simtest::ReadStringTable(data + simtest::U32(core->smbios + 12), core->smbios + 8192);
  EXPECT_EQ(first.count("0001"), 1u);
  EXPECT_EQ(first.count("12AB"), 1u);
  EXPECT_EQ(second.count("00A5"), 1u);
  EXPECT_EQ(second.count("0000"), 1u);
  // Structures without strings get no entry at all.
  EXPECT_EQ(first.count("007F") + second.count("0060"), 0u);
  // The structures follow the second table directly.
  EXPECT_GT(simtest::U32(core->smbios + 8), simtest::U32(core->smbios + 12));
}

TEST(StandardLayout, StructureWithoutStringsEndsInTwoNuls) {
  auto core = simtest::NewCore();
  std::vector<OwnedStructure> list = {{27, 0x60, std::vector<uint8_t>(10, 0x55), {}, 1},
                                      {127, 0x7F, {}, {}, 1}};
  uint32_t failed;
  ASSERT_EQ(hwsim::BuildTable(*core, Layout::kStandard, list, &failed), BuildResult::kOk);
  const uint8_t* data = core->smbios + 20;
  EXPECT_EQ(data[14], 0);
  EXPECT_EQ(data[15], 0);
  EXPECT_EQ(data[16], 127);
  EXPECT_EQ(simtest::U32(core->smbios + 16), 14u + 2 + 4 + 2);
}

TEST(Build, SensorsStartFromTheirStructures) {
  auto core = simtest::NewCore();
  uint32_t failed;
  ASSERT_EQ(hwsim::BuildTable(*core, Layout::kStandard, SampleServer(), &failed), BuildResult::kOk);
  ASSERT_EQ(core->sensorCount, 2u);
  const hwsim::SensorSlot* probe = hwsim::FindSensor(*core, 0x12AB);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->status, 0xA3);
  EXPECT_EQ(probe->raw, 452);
  const hwsim::SensorSlot* fan = hwsim::FindSensor(*core, 0x0060);
  ASSERT_NE(fan, nullptr);
  EXPECT_EQ(fan->status, 0x63);
  EXPECT_EQ(fan->raw, 3000);
  EXPECT_EQ(hwsim::FindSensor(*core, 0x00A5), nullptr);  // a memory device is no sensor
}

struct BadBuild {
  const char* name;
  OwnedStructure structure;
  Layout layout;
  BuildResult expected;
};

TEST(Build, RefusesWhatTheAgentCouldNotRead) {
  const BadBuild cases[] = {
      {"formatted area too long", {1, 1, std::vector<uint8_t>(252, 0), {}, 1}, Layout::kStandard,
       BuildResult::kFormattedTooLong},
      {"empty string", {1, 1, {}, {"Kelvo", ""}, 1}, Layout::kStandard, BuildResult::kEmptyString},
      {"string table 3", {1, 1, {}, {"Kelvo"}, 3}, Layout::kStringsApart, BuildResult::kBadStringTable},
  };
  for (const BadBuild& c : cases) {
    SCOPED_TRACE(c.name);
    auto core = simtest::NewCore();
    std::vector<OwnedStructure> list = {{0, 0, {}, {"ok"}, 1}, c.structure};
    uint32_t failed = 99;
    EXPECT_EQ(hwsim::BuildTable(*core, c.layout, list, &failed), c.expected);
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(simtest::U32(core->smbios), 0u);  // nothing half-built is served
  }
}

TEST(Build, TableLargerThanTheBufferIsRefusedInBothLayouts) {
  for (Layout layout : {Layout::kStandard, Layout::kStringsApart}) {
    auto core = simtest::NewCore();
    // 41 structures of 4 + 200 bytes: more than the 8172-byte data area in either layout.
    std::vector<OwnedStructure> list(41, OwnedStructure{128, 0, std::vector<uint8_t>(200, 1), {}, 1});
    uint32_t failed = 0;
    EXPECT_EQ(hwsim::BuildTable(*core, layout, list, &failed), BuildResult::kTooLarge);
    EXPECT_EQ(failed, 41u);
    EXPECT_EQ(core->sensorCount, 0u);
    EXPECT_EQ(simtest::U32(core->smbios), 0u);
  }
}

TEST(Build, TableThatExactlyFillsTheDataAreaIsKept) {
  auto core = simtest::NewCore();
  // 8172 bytes: 39 structures of 4 + 203 + 2 (= 8151) and one of 4 + 15 + 2.
  std::vector<OwnedStructure> list(39, OwnedStructure{128, 0, std::vector<uint8_t>(203, 1), {}, 1});
  list.push_back({127, 0x7F, std::vector<uint8_t>(15, 0), {}, 1});
  uint32_t failed;
  ASSERT_EQ(hwsim::BuildTable(*core, Layout::kStandard, list, &failed), BuildResult::kOk);
  EXPECT_EQ(simtest::U32(core->smbios + 16), 8172u);
}

struct LogGeometry {
  uint8_t method;
  uint32_t address;
  uint16_t areaLength;
  uint16_t dataStart;
  uint32_t capacity;
};

TEST(Build, LogAreaFollowsTheEventLogStructure) {
  const LogGeometry cases[] = {
      {3, 0xFFD80000, 4096, 16, 4080},
      {4, 0, 4096, 16, 4096},
      {3, 0, 4096, 16, hwsim::kMaxLogBytes},          // no address: the agent does not follow it
      {3, 0xFFD80000, 32, 16, hwsim::kMaxLogBytes},   // area not larger than start + 16
      {1, 0x0CA8, 4096, 16, hwsim::kMaxLogBytes},     // I/O access
  };
  for (const LogGeometry& c : cases) {
    SCOPED_TRACE(c.capacity);
    std::vector<uint8_t> f(19, 0);
    f[0] = c.areaLength & 0xFF;
    f[1] = c.areaLength >> 8;
    f[4] = c.dataStart & 0xFF;
    f[6] = c.method;
    for (int i = 0; i < 4; ++i) f[12 + i] = uint8_t(c.address >> (8 * i));
    auto core = simtest::NewCore();
    uint32_t failed;
    ASSERT_EQ(hwsim::BuildTable(*core, Layout::kStandard, {{15, 0x70, f, {}, 1}}, &failed), BuildResult::kOk);
    EXPECT_EQ(core->logCapacity, c.capacity);
  }
}

}  // namespace
