// The parser on tables stated as structure lists, in both layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agent/eventlog/event_log_reader.h"
#include "inventory_snapshot.h"
#include "agent/platform/smbios_parser.h"
#include "smbios_builder.h"

namespace vigil::test {
namespace {

constexpr Uuid kUuid = kSampleUuid;
constexpr uint8_t kProcessorOk = kSampleLocationAndStatus;

std::vector<TestStructure> ServerTable() { return SampleServerTable(); }

class ParserLayouts : public ::testing::TestWithParam<Layout> {
 protected:
  void SetUp() override { ResetAgentState(); }
  InventorySnapshot Parse(const std::vector<TestStructure>& structures) {
    return ParseAndSnapshot(BuildSmbiosBuffer(GetParam(), structures));
  }
};

INSTANTIATE_TEST_SUITE_P(BothLayouts, ParserLayouts,
                         ::testing::Values(Layout::kStandard, Layout::kStringsApart),
                         [](const auto& info) {
                           return info.param == Layout::kStandard ? std::string("Standard")
                                                                  : std::string("StringsApart");
                         });

TEST(SmbiosParser, BothLayoutsGiveTheSameInventory) {
  ResetAgentState();
  InventorySnapshot standard = ParseAndSnapshot(BuildSmbiosBuffer(Layout::kStandard, ServerTable()));
  ResetAgentState();
  InventorySnapshot apart = ParseAndSnapshot(BuildSmbiosBuffer(Layout::kStringsApart, ServerTable()));

  EXPECT_EQ(standard, apart);
  EXPECT_EQ(standard.productName, "Kelvo B720");
  EXPECT_EQ(standard.systemUuid, kUuid);
  EXPECT_EQ(standard.voltageProbes,
            (std::vector<ProbeValue>{{0x0200, kProcessorOk, "CPU1 Vcore"}, {0x0201, 0x64, "P3V3"}}));
  EXPECT_EQ(standard.temperatureProbes,
            (std::vector<ProbeValue>{{0x0300, kProcessorOk, "CPU1 Temp"}, {0x0301, 0x67, "Ambient"}}));
  EXPECT_EQ(standard.coolingDevices,
            (std::vector<std::pair<uint16_t, uint32_t>>{{0x0400, 0x00010002}, {0x0401, 0x00020001}}));
  EXPECT_EQ(standard.memoryDevices,
            (std::map<uint16_t, std::string>{{0x1100, "DIMM_A1"}, {0x1101, "DIMM_B1"}}));
}

TEST_P(ParserLayouts, EndOfTableMidwayEndsTheWalk) {
  auto s = Parse({SystemInformation(1, "Kelvo A140", kUuid), EndOfTable(2), Probe(26, 3, "after", 0)});
  EXPECT_EQ(s.productName, "Kelvo A140");
  EXPECT_TRUE(s.voltageProbes.empty());
}

TEST_P(ParserLayouts, TypeLastEndsTheWalk) {
  auto s = Parse({Probe(28, 3, "before", 0), OemStructure(255, 4, {}), Probe(28, 5, "after", 0)});
  EXPECT_EQ(s.temperatureProbes, (std::vector<ProbeValue>{{3, 0, "before"}}));
}

TEST_P(ParserLayouts, LongTextsAreCut) {
  const std::string forty = "Kelvo C850 Enterprise Rack Server 2U 40c";
  ASSERT_EQ(forty.size(), 40u);
  auto s = Parse({SystemInformation(1, forty, kUuid), Probe(26, 2, forty, 0),
                  MemoryDevice(3, "PROCESSOR1_DIMM_CHANNEL_A_SLOT_0")});
  EXPECT_EQ(s.productName, forty.substr(0, 31));
  EXPECT_EQ(s.voltageProbes.at(0).description, forty.substr(0, 31));
  // Locators pass through a 16-byte working buffer: 15 characters are kept.
  EXPECT_EQ(s.memoryDevices.at(3), "PROCESSOR1_DIMM");
}

// The description field is published whole as a sensor name: a second parse with a shorter
// text must leave nothing of the first behind its terminator.
TEST_P(ParserLayouts, ShorterTextLeavesNoStaleBytes) {
  Parse({Probe(26, 2, "A long probe description text", 0)});
  Parse({Probe(26, 2, "short", 0)});
  const char* field = gInventory.voltageProbes[0].description;
  EXPECT_STREQ(field, "short");
  for (std::size_t i = std::strlen(field); i < kInventoryTextSize; ++i) EXPECT_EQ(field[i], 0) << i;
}

TEST_P(ParserLayouts, SystemInformationOfLengthEightHasNoUuid) {
  auto s = Parse({SystemInformationWithoutUuid(1, "Kelvo B720")});
  EXPECT_EQ(s.productName, "Kelvo B720");
  EXPECT_EQ(s.systemUuid, Uuid{});
}

TEST_P(ParserLayouts, SystemInformationTooShortForTheUuidTakesNone) {
  TestStructure si = SystemInformation(1, "Kelvo B720", kUuid);
  si.formatted.resize(0x10 - 4);  // ends in the middle of the UUID field
  auto s = Parse({si, Probe(26, 2, "next", 0)});
  EXPECT_EQ(s.systemUuid, Uuid{});
  EXPECT_EQ(s.voltageProbes.size(), 1u);
}

TEST_P(ParserLayouts, LaterSystemInformationOverwrites) {
  Uuid other = kUuid;
  other[0] = 0x01;
  auto s = Parse({SystemInformation(1, "Kelvo A140", kUuid), SystemInformation(2, "Kelvo A141", other)});
  EXPECT_EQ(s.productName, "Kelvo A141");
  EXPECT_EQ(s.systemUuid, other);
}

TEST_P(ParserLayouts, BadStringNumberIsStoredAsText) {
  TestStructure probe = Probe(26, 0x20, "only one", 0);
  probe.formatted[0] = 2;  // description: string 2 of 1
  auto s = Parse({probe});
  EXPECT_EQ(s.voltageProbes.at(0).description, "** Error ** Bad string number");
}

TEST_P(ParserLayouts, StringNumberZeroIsEmpty) {
  TestStructure probe = Probe(28, 0x20, "unused", 0);
  probe.formatted[0] = 0;
  auto s = Parse({probe});
  EXPECT_EQ(s.temperatureProbes.at(0).description, "");
}

TEST_P(ParserLayouts, MoreThanThirtyTwoRecordsAreIgnored) {
  std::vector<TestStructure> table;
  for (uint16_t i = 0; i < 40; ++i) {
    table.push_back(Probe(26, static_cast<uint16_t>(0x100 + i), "V" + std::to_string(i), 0));
    table.push_back(Probe(28, static_cast<uint16_t>(0x200 + i), "T" + std::to_string(i), 0));
    table.push_back(CoolingDevice(static_cast<uint16_t>(0x300 + i), i));
  }
  table.push_back(SystemInformation(1, "Kelvo B720", kUuid));  // still reached after the extras
  auto s = Parse(table);
  ASSERT_EQ(s.voltageProbes.size(), 32u);
  ASSERT_EQ(s.temperatureProbes.size(), 32u);
  ASSERT_EQ(s.coolingDevices.size(), 32u);
  EXPECT_EQ(s.voltageProbes.back().handle, 0x11F);
  EXPECT_EQ(s.temperatureProbes.back().description, "T31");
  EXPECT_EQ(s.coolingDevices.back().first, 0x31F);
  EXPECT_EQ(s.productName, "Kelvo B720");
}

TEST_P(ParserLayouts, EachParseStartsTheListsAfreshButKeepsTheMemoryMap) {
  Parse({Probe(26, 1, "first", 0), MemoryDevice(0x10, "DIMM_A1")});
  auto s = Parse({Probe(26, 2, "second", 0), MemoryDevice(0x11, "DIMM_B1"), MemoryDevice(0x10, "DIMM_C1")});
  EXPECT_EQ(s.voltageProbes, (std::vector<ProbeValue>{{2, 0, "second"}}));
  EXPECT_EQ(s.memoryDevices, (std::map<uint16_t, std::string>{{0x10, "DIMM_C1"}, {0x11, "DIMM_B1"}}));
}

TEST_P(ParserLayouts, NoEventLogStructureLeavesNoLogToFollow) {
  Parse({SystemEventLog(1), EndOfTable(2)});
  ASSERT_EQ(gInventory.eventLogCount, 1u);
  Parse({SystemInformation(1, "Kelvo B720", kUuid), EndOfTable(2)});
  EXPECT_EQ(gInventory.eventLogCount, 0u);
}

// Every type-15 structure is noted where it lies, formatted area only; the parser hands none
// of them on.
TEST_P(ParserLayouts, EventLogStructuresAreNotedInTableOrder) {
  const std::vector<uint8_t> buffer = BuildSmbiosBuffer(
      GetParam(), {SystemEventLog(0x11), Probe(26, 1, "between", 0), SystemEventLog(0x12)});
  gEventLogReader.logDataSize = 0x0FF0;
  ParseAndSnapshot(buffer);
  EXPECT_EQ(gEventLogReader.logDataSize, 0x0FF0);
  ASSERT_EQ(gInventory.eventLogCount, 2u);
  uint16_t handles[2];
  for (int i = 0; i < 2; ++i) {
    const StructurePlace& place = gInventory.eventLogs[i];
    EXPECT_EQ(buffer[place.offset], 15);
    EXPECT_EQ(place.length, 0x17);
    handles[i] = uint16_t(buffer[place.offset + 2] | buffer[place.offset + 3] << 8);
  }
  EXPECT_EQ(handles[0], 0x11);
  EXPECT_EQ(handles[1], 0x12);
}

TEST_P(ParserLayouts, TableLengthBoundsTheWalk) {
  std::vector<uint8_t> buffer = BuildSmbiosBuffer(GetParam(), {Probe(26, 1, "in", 0), Probe(26, 2, "out", 0)});
  const uint32_t firstOnly = GetParam() == Layout::kStandard ? 0x16 + 4 : 0x16;  // "in\0" + "\0"
  std::memcpy(&buffer[kSmbiosTableLength], &firstOnly, 4);
  auto s = ParseAndSnapshot(buffer);
  EXPECT_EQ(s.voltageProbes, (std::vector<ProbeValue>{{1, 0, "in"}}));
}

TEST(SmbiosParser, LayoutKindZeroParsesAndClearsNothing) {
  ResetAgentState();
  ParseAndSnapshot(BuildSmbiosBuffer(Layout::kStandard, ServerTable()));
  const InventorySnapshot before = Snapshot();
  const StructurePlace eventLog = gInventory.eventLogs[0];
  ASSERT_EQ(gInventory.eventLogCount, 1u);

  std::vector<uint8_t> none = BuildSmbiosBuffer(Layout::kStandard, {Probe(26, 9, "ignored", 0)});
  std::memset(&none[kSmbiosLayoutKind], 0, 4);
  EXPECT_EQ(ParseAndSnapshot(none), before);
  EXPECT_FALSE(ParseSmbiosTable(none.data()));
  ASSERT_EQ(gInventory.eventLogCount, 1u);
  EXPECT_EQ(gInventory.eventLogs[0].offset, eventLog.offset);
}

// Real boards carry OEM, type 11 and type 12 structures of 33 and more strings: the first 32
// serve lookups, the rest of the set is stepped over and the walk goes on.
TEST(SmbiosParser, LongStringSetsAreSteppedOver) {
  for (std::size_t strings : {32u, 33u, 40u}) {
    SCOPED_TRACE(strings);
    ResetAgentState();
    std::vector<std::string> many;
    for (std::size_t i = 1; i <= strings; ++i) many.push_back("s" + std::to_string(i));
    TestStructure crowded = Probe(26, 1, "", 0);
    crowded.strings = many;
    crowded.formatted[0] = 32;  // the description is the last string that can be read
    auto s = ParseAndSnapshot(BuildSmbiosBuffer(
        Layout::kStandard, {OemStructure(0xC0, 0x10, many), crowded, SystemEventLog(0x11),
                            MemoryDevice(0x12, "DIMM_A1"), Probe(28, 0x13, "after", 0)}));
    EXPECT_EQ(s.voltageProbes, (std::vector<ProbeValue>{{1, 0, "s32"}}));
    EXPECT_EQ(s.memoryDevices, (std::map<uint16_t, std::string>{{0x12, "DIMM_A1"}}));
    EXPECT_EQ(s.temperatureProbes, (std::vector<ProbeValue>{{0x13, 0, "after"}}));
    EXPECT_EQ(gInventory.eventLogCount, 1u);
  }
}

TEST(SmbiosParser, CoolingDeviceWithStringsDoesNotDerailTheWalk) {
  ResetAgentState();
  TestStructure fan = CoolingDevice(0x40, 7);
  fan.formatted.push_back(1);  // a newer cooling device: description at 0Eh
  fan.strings = {"Fan 1"};
  auto s = ParseAndSnapshot(BuildSmbiosBuffer(Layout::kStandard, {fan, Probe(28, 0x41, "after fan", 0)}));
  EXPECT_EQ(s.coolingDevices, (std::vector<std::pair<uint16_t, uint32_t>>{{0x40, 7}}));
  EXPECT_EQ(s.temperatureProbes, (std::vector<ProbeValue>{{0x41, 0, "after fan"}}));
}

// The cooling device's description (offset 0Eh, SMBIOS 2.7 and later): read where the
// structure has the field and names a string the table holds, else left empty.
struct FanDescriptionCase {
  const char* label;
  int descriptionNumber;             // -1: no field at 0Eh
  std::vector<std::string> strings;
  std::string expected;
};

class FanDescriptions : public ::testing::TestWithParam<std::tuple<Layout, FanDescriptionCase>> {};

TEST_P(FanDescriptions, TakeTheDescriptionOnlyWhereTheStructureHasOne) {
  const auto& [layout, c] = GetParam();
  ResetAgentState();
  TestStructure fan = CoolingDevice(0x45, 0);
  if (c.descriptionNumber >= 0) fan.formatted.push_back(static_cast<uint8_t>(c.descriptionNumber));
  fan.strings = c.strings;
  auto s = ParseAndSnapshot(BuildSmbiosBuffer(layout, {fan, Probe(28, 0x46, "after fan", 0)}));
  ASSERT_EQ(gInventory.coolingDeviceCount, 1u);
  EXPECT_EQ(std::string(gInventory.coolingDevices[0].description), c.expected);
  EXPECT_EQ(s.temperatureProbes, (std::vector<ProbeValue>{{0x46, 0, "after fan"}}));
}

INSTANTIATE_TEST_SUITE_P(
    BothLayouts, FanDescriptions,
    ::testing::Combine(
        ::testing::Values(Layout::kStandard, Layout::kStringsApart),
        ::testing::Values(
            FanDescriptionCase{"named", 1, {"Cooling Dev 1"}, "Cooling Dev 1"},
            FanDescriptionCase{"second_string", 2, {"x", "FAN2"}, "FAN2"},
            FanDescriptionCase{"string_zero", 0, {"unused"}, ""},
            FanDescriptionCase{"number_past_the_set", 2, {"only one"}, ""},
            FanDescriptionCase{"cut_to_31", 1, {"Chassis Fan Assembly Number 1 Rear"},
                               "Chassis Fan Assembly Number 1 R"},
            // A 2.3 structure (length 0Eh): the byte at 0Eh starts its string-set, and here
            // it would name string 1 if taken for the field.
            FanDescriptionCase{"too_short_for_the_field", -1, {"\x01not a description"}, ""},
            FanDescriptionCase{"no_field_no_strings", -1, {}, ""})),
    [](const auto& info) {
      return std::string(std::get<0>(info.param) == Layout::kStandard ? "Standard_" : "StringsApart_") +
             std::get<1>(info.param).label;
    });

// Layout 2: string tables keyed by handle.

std::string DescriptionFromTables(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second,
                                  uint16_t handle, uint8_t number = 1) {
  ResetAgentState();
  TestStructure probe = Probe(26, handle, "", 0);
  probe.formatted[0] = number;
  auto s = ParseAndSnapshot(BuildStringsApartBuffer(first, {probe}, second));
  return s.voltageProbes.empty() ? "<none>" : s.voltageProbes[0].description;
}

TEST(StringTables, HandleKeysAreFourUpperCaseDigits) {
  auto tables = StringTableBytes({{"A5", {"short key"}}, {"00a5", {"lower case"}}, {"00A5", {"found A5"}},
                                  {"12ab", {"lower case"}}, {"12AB", {"found 12AB"}}});
  const auto empty = StringTableBytes({});
  EXPECT_EQ(DescriptionFromTables(tables, empty, 0x00A5), "found A5");
  EXPECT_EQ(DescriptionFromTables(empty, tables, 0x12AB), "found 12AB");
}

TEST(StringTables, FirstTableIsAskedFirstAndDecides) {
  const auto first = StringTableBytes({{"0010", {"one"}}, {"0011", {"first"}}});
  const auto second = StringTableBytes({{"0011", {"second", "second 2"}}, {"0012", {"x", "only in second"}}});
  EXPECT_EQ(DescriptionFromTables(first, second, 0x11), "first");
  // The first table's entry has no string 2: the second table is not asked.
  EXPECT_EQ(DescriptionFromTables(first, second, 0x11, 2), "** Error ** Bad string number");
  EXPECT_EQ(DescriptionFromTables(first, second, 0x12, 2), "only in second");
  EXPECT_EQ(DescriptionFromTables(first, second, 0x13), "** Error ** No string for this ");
  // A key given twice in one table: its first entry answers, also when it is short.
  const auto twice = StringTableBytes({{"0020", {"z"}}, {"0021", {"early"}}, {"0021", {"late", "late 2"}}});
  EXPECT_EQ(DescriptionFromTables(twice, second, 0x21), "early");
  EXPECT_EQ(DescriptionFromTables(twice, second, 0x21, 2), "** Error ** Bad string number");
}

TEST(StringTables, EntryWithoutStringsAndEmptyKeyEndTheTable) {
  const auto first = StringTableBytes({{"0001", {}}, {"0002", {"two"}}});
  EXPECT_EQ(DescriptionFromTables(first, StringTableBytes({}), 0x0001), "** Error ** Bad string number");
  EXPECT_EQ(DescriptionFromTables(first, StringTableBytes({}), 0x0002), "two");
  // Anything after the empty key is not part of the table.
  auto ended = StringTableBytes({});
  auto hidden = StringTableBytes({{"0003", {"hidden"}}});
  ended.insert(ended.end(), hidden.begin(), hidden.end());
  EXPECT_EQ(DescriptionFromTables(ended, StringTableBytes({}), 0x0003), "** Error ** No string for this ");
}

}  // namespace
}  // namespace vigil::test
