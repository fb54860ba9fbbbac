// Event table loading and lookups against the in-memory registry.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "contract/registry_paths.h"
#include "agent/eventtables/event_table.h"
#include "os/os.h"
#include "support/memory_machine.h"

namespace vigil {
namespace {

constexpr const char* kModel = "Kelvo B720";

std::string TablePath(const char* tableName) {
  return std::string(kParametersBasePath) + tableName + kModel;
}

// Writes values (name, raw data bytes) into a table key, in order.
void WriteValues(const char* tableName, const std::vector<std::pair<std::string, std::string>>& values) {
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegCreateKey(TablePath(tableName).c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
  for (const auto& [name, data] : values) {
    ASSERT_EQ(os::RegSetValue(key, name.c_str(), os::kRegSz, data.data(), static_cast<uint32_t>(data.size())),
              os::kErrorSuccess);
  }
  os::RegCloseKey(key);
}

// A NUL-terminated registry string, as a .reg import stores it.
std::string Sz(const std::string& text) { return text + '\0'; }

bool KeyExists(const char* tableName) {
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(TablePath(tableName).c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
  os::RegCloseKey(key);
  return true;
}

class EventTableTest : public ::testing::Test {
 protected:
  test::MemoryMachine machine_;
  EventTable table_;
};

TEST_F(EventTableTest, MissingKeysAreCreatedEmptyAndNothingIsFound) {
  EXPECT_EQ(table_.Load(kParametersBasePath, kModel), 0);
  EXPECT_TRUE(KeyExists(kEventStringTableName));
  EXPECT_TRUE(KeyExists(kEventPetTableName));
  EXPECT_TRUE(table_.entries().empty());
  EXPECT_STREQ(table_.LookupText(0x08, kGeneralEventCode), "");
  EXPECT_EQ(table_.LookupPet(0x08, kGeneralEventCode), nullptr);
  EXPECT_FALSE(table_.IsOpen());
}

TEST_F(EventTableTest, AnUnusableRegistryFailsTheLoadAndAddsNothing) {
  os::memory::BreakRegistry();
  EXPECT_EQ(table_.Load(kParametersBasePath, kModel), -1);
  EXPECT_TRUE(table_.entries().empty());
  EXPECT_FALSE(table_.IsOpen());
}

TEST_F(EventTableTest, BothTablesMeetInOneEntryWhateverTheirOrder) {
  WriteValues(kEventStringTableName, {{"0A_FFFFFFFF", Sz("Log area reset")},
                                      {"10_00000012", Sz("CPU1 over temperature")},
                                      {"01_FFFFFFFF", Sz("Single-bit ECC error")}});
  WriteValues(kEventPetTableName, {{"01_FFFFFFFF", Sz("0C,6F,00,00,00,00,00,00")},
                                   {"10_00000012", Sz("01,01,07,03,00,02,00,00")},
                                   {"02_FFFFFFFF", Sz("0C,6f,1")}});
  table_.Load(kParametersBasePath, kModel);

  EXPECT_STREQ(table_.LookupText(0x10, 0x12), "CPU1 over temperature");
  ASSERT_NE(table_.LookupPet(0x10, 0x12), nullptr);
  EXPECT_EQ(*table_.LookupPet(0x10, 0x12), (PetRecord{0x01, 0x01, 0x07, 0x03, 0x00, 0x02, 0x00, 0x00}));
  EXPECT_STREQ(table_.LookupText(0x0A, kGeneralEventCode), "Log area reset");
  // Made by the string table alone: its PET bytes are the zeros of creation.
  ASSERT_NE(table_.LookupPet(0x0A, kGeneralEventCode), nullptr);
  EXPECT_EQ(*table_.LookupPet(0x0A, kGeneralEventCode), PetRecord{});
  // Made by the PET table alone: an empty text.
  EXPECT_STREQ(table_.LookupText(0x02, kGeneralEventCode), "");
  EXPECT_EQ(*table_.LookupPet(0x02, kGeneralEventCode), (PetRecord{0x0C, 0x6F, 0x01, 0, 0, 0, 0, 0}));
  EXPECT_EQ(table_.entries().size(), 4u);
}

TEST_F(EventTableTest, LowerCaseNamesAreLoadedButNeverFound) {
  WriteValues(kEventStringTableName, {{"08_ffffffff", Sz("lower")}, {"0a_FFFFFFFF", Sz("lower type")}});
  table_.Load(kParametersBasePath, kModel);
  EXPECT_EQ(table_.entries().count("08_ffffffff"), 1u);
  EXPECT_STREQ(table_.LookupText(0x08, kGeneralEventCode), "");
  EXPECT_EQ(table_.LookupPet(0x08, kGeneralEventCode), nullptr);
  EXPECT_STREQ(table_.LookupText(0x0A, kGeneralEventCode), "");
}

TEST_F(EventTableTest, LookupKeysArePaddedUpperCaseHex) {
  WriteValues(kEventStringTableName, {{"0A_FFFFFFFF", Sz("a")}, {"08_00000003", Sz("b")}, {"08_00000102", Sz("c")}});
  table_.Load(kParametersBasePath, kModel);
  EXPECT_STREQ(table_.LookupText(0x0A, 0xFFFFFFFF), "a");
  EXPECT_STREQ(table_.LookupText(0x08, 3), "b");
  EXPECT_STREQ(table_.LookupText(0x08, 0x102), "c");
  EXPECT_STREQ(table_.LookupText(0x08, 0x10), "");  // a prefix of nothing, a neighbour of "08_00000003"
  EXPECT_STREQ(table_.LookupText(0x80, 3), "");
}

// Each stop case is written third, after two good values and before a good one.
struct EnumerationStop {
  const char* what;
  std::string name;
  std::string data;
};

class EnumerationStops : public EventTableTest, public ::testing::WithParamInterface<EnumerationStop> {};

TEST_P(EnumerationStops, EndTheTableThere) {
  WriteValues(kEventStringTableName, {{"01_FFFFFFFF", Sz("first")},
                                      {"02_FFFFFFFF", Sz("second")},
                                      {GetParam().name, GetParam().data},
                                      {"04_FFFFFFFF", Sz("fourth")}});
  WriteValues(kEventPetTableName, {{"04_FFFFFFFF", Sz("4,4")}});
  table_.Load(kParametersBasePath, kModel);
  EXPECT_STREQ(table_.LookupText(0x01, kGeneralEventCode), "first");
  EXPECT_STREQ(table_.LookupText(0x02, kGeneralEventCode), "second");
  EXPECT_STREQ(table_.LookupText(0x03, kGeneralEventCode), "");
  EXPECT_STREQ(table_.LookupText(0x04, kGeneralEventCode), "");
  // The PET table is still loaded.
  ASSERT_NE(table_.LookupPet(0x04, kGeneralEventCode), nullptr);
  EXPECT_EQ((*table_.LookupPet(0x04, kGeneralEventCode))[1], 0x04);
  EXPECT_FALSE(table_.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Values, EnumerationStops,
    ::testing::Values(EnumerationStop{"data300", "03_FFFFFFFF", Sz(std::string(299, 'x'))},
                      EnumerationStop{"data261", "03_FFFFFFFF", std::string(261, 'x')},
                      EnumerationStop{"emptyData", "03_FFFFFFFF", std::string()},
                      EnumerationStop{"name260", std::string(260, 'N'), Sz("long name")}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(EventTableTest, TextsAreBoundedByTheDataAndEndAtTheFirstNul) {
  WriteValues(kEventStringTableName, {{"01_FFFFFFFF", std::string(260, 'A')},  // no NUL at all
                                      {"02_FFFFFFFF", std::string("two\0hidden", 10)},
                                      {"03_FFFFFFFF", Sz(std::string(259, 'B'))}});
  table_.Load(kParametersBasePath, kModel);
  EXPECT_EQ(std::string(table_.LookupText(0x01, kGeneralEventCode)), std::string(260, 'A'));
  EXPECT_STREQ(table_.LookupText(0x02, kGeneralEventCode), "two");
  EXPECT_EQ(std::string(table_.LookupText(0x03, kGeneralEventCode)), std::string(259, 'B'));
}

TEST_F(EventTableTest, PetValueWithoutTerminatorIsBounded) {
  std::string pet = "1,2,3";
  pet.append(260 - pet.size(), '0');  // the last number runs to the end of the data, no NUL
  WriteValues(kEventPetTableName, {{"05_FFFFFFFF", pet}});
  table_.Load(kParametersBasePath, kModel);
  ASSERT_NE(table_.LookupPet(0x05, kGeneralEventCode), nullptr);
  EXPECT_EQ(*table_.LookupPet(0x05, kGeneralEventCode), (PetRecord{1, 2, 0xFF, 0, 0, 0, 0, 0}));
}

TEST_F(EventTableTest, AnotherLoadOverwritesAndKeepsMissingNumbers) {
  WriteValues(kEventPetTableName, {{"01_FFFFFFFF", Sz("11,22,33,44,55,66,77,88")}});
  table_.Load(kParametersBasePath, kModel);
  WriteValues(kEventPetTableName, {{"01_FFFFFFFF", Sz("1,6f,3")}});
  WriteValues(kEventStringTableName, {{"01_FFFFFFFF", Sz("now with text")}});
  table_.Load(kParametersBasePath, kModel);
  EXPECT_EQ(*table_.LookupPet(0x01, kGeneralEventCode), (PetRecord{0x01, 0x6F, 0x03, 0x44, 0x55, 0x66, 0x77, 0x88}));
  EXPECT_STREQ(table_.LookupText(0x01, kGeneralEventCode), "now with text");
}

TEST_F(EventTableTest, PetValueWithABlankBeforeTheCommaStopsThere) {
  WriteValues(kEventPetTableName, {{"07_FFFFFFFF", Sz("1 ,2,3")}, {"09_FFFFFFFF", Sz("none")}});
  table_.Load(kParametersBasePath, kModel);
  EXPECT_EQ(*table_.LookupPet(0x07, kGeneralEventCode), (PetRecord{1, 0, 0, 0, 0, 0, 0, 0}));
  // No number at all: the entry still exists.
  ASSERT_NE(table_.LookupPet(0x09, kGeneralEventCode), nullptr);
  EXPECT_EQ(*table_.LookupPet(0x09, kGeneralEventCode), PetRecord{});
}

}  // namespace
}  // namespace vigil
