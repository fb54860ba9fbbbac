// Model identification: the SMBIOS read through the real channel, the parse, the model table
// and the event tables it loads, against the in-memory registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "contract/registry_paths.h"
#include "agent/eventtables/event_table.h"
#include "fake_platform.h"
#include "inventory_snapshot.h"
#include "os/os.h"
#include "agent/platform/driver_channel.h"
#include "agent/platform/model_identification.h"
#include "smbios_builder.h"
#include "support/memory_machine.h"
#include "support/test_name.h"

namespace vigil::test {
namespace {

constexpr Uuid kUuid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr int32_t kUntouched = 77;  // a value no identification writes

bool KeyExists(const std::string& path) {
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
  os::RegCloseKey(key);
  return true;
}

bool TableKeyExists(const std::string& model, const char* table = kEventStringTableName) {
  return KeyExists(std::string(kParametersBasePath) + table + model);
}

// Writes one text into an event string table, creating its key.
void WriteTableText(const std::string& model, const char* name, const char* text) {
  os::RegHandle key = nullptr;
  const std::string path = std::string(kParametersBasePath) + kEventStringTableName + model;
  ASSERT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
  ASSERT_EQ(os::RegSetValue(key, name, os::kRegSz, text, uint32_t(std::strlen(text) + 1)), os::kErrorSuccess);
  os::RegCloseKey(key);
}

class ModelIdentificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gTableRetryDelayMs = 0;
    gModelIndex = ModelIndex(kUntouched);
    ASSERT_EQ(OpenDriverChannel(), 0);
  }
  void Serve(const std::string& product, Layout layout = Layout::kStandard) {
    platform_.table = BuildSmbiosBuffer(layout, {SystemInformation(0x100, product, kUuid), EndOfTable(0x101)});
  }

  MemoryMachine machine_;
  FakePlatform platform_;
};

struct Recognised {
  const char* product;
  int32_t index;
  const char* tables;
};

class KnownModels : public ModelIdentificationTest, public ::testing::WithParamInterface<Recognised> {};

TEST_P(KnownModels, SetIndexAndLoadTheModelsTables) {
  Serve(GetParam().product);
  bool parsed = false;
  EXPECT_TRUE(IdentifyPlatformModel(&parsed));
  EXPECT_TRUE(parsed);
  EXPECT_EQ(gModelIndex, GetParam().index);
  EXPECT_TRUE(TableKeyExists(GetParam().tables));  // the load opened (created) that model's keys
  EXPECT_EQ(Snapshot().systemUuid, kUuid);
}

INSTANTIATE_TEST_SUITE_P(Models, KnownModels,
                         ::testing::Values(Recognised{"Kelvo A140", 1, "Kelvo A141"},
                                           Recognised{"Kelvo A141", 1, "Kelvo A141"},
                                           Recognised{"Kelvo B720", 3, "Kelvo B720"},
                                           Recognised{"Kelvo C850", 4, "Kelvo C850"},
                                           Recognised{"Kelvo C850 Rack Server", 4, "Kelvo C850"},
                                           Recognised{"Kelvo A140-X", 1, "Kelvo A141"}),
    [](const auto& info) { return TestName(info.param.product); });

TEST_F(ModelIdentificationTest, A140UsesTheA141EventTexts) {
  WriteTableText("Kelvo A141", "7E_FFFFFFFF", "Memory error");
  Serve("Kelvo A140", Layout::kStringsApart);
  EXPECT_TRUE(IdentifyPlatformModel());
  EXPECT_STREQ(gEventTable.LookupText(0x7E, kGeneralEventCode), "Memory error");
  EXPECT_FALSE(TableKeyExists("Kelvo A140"));
}

TEST_F(ModelIdentificationTest, UnknownNamesMatchNothingAndTouchNothing) {
  for (const char* product : {"kelvo b720", "KELVO C850", "Kelvo A14", "Kelvo", "", "Kelvo D990", " Kelvo B720"}) {
    SCOPED_TRACE(product);
    Serve(product);
    bool parsed = false;
    EXPECT_FALSE(IdentifyPlatformModel(&parsed));
    EXPECT_TRUE(parsed);  // a table, just no model the agent knows
    EXPECT_EQ(gModelIndex, kUntouched);
    EXPECT_FALSE(gGenericSetInUse);
  }
  // Not a key was made: looking for the generic set created nothing either.
  EXPECT_FALSE(KeyExists("SOFTWARE"));
}

TEST_F(ModelIdentificationTest, AnUnknownModelUsesTheGenericSetWhenTheRegistryHoldsIt) {
  WriteTableText(kGenericEventTableName, "7C_FFFFFFFF", "generic text");
  Serve("Kelvo D100");
  EXPECT_FALSE(IdentifyPlatformModel());
  EXPECT_TRUE(gGenericSetInUse);
  EXPECT_EQ(gModelIndex, kUntouched);
  EXPECT_STREQ(gEventTable.LookupText(0x7C, kGeneralEventCode), "generic text");
}

TEST_F(ModelIdentificationTest, AKnownModelIgnoresTheGenericSet) {
  WriteTableText(kGenericEventTableName, "7D_FFFFFFFF", "generic text");
  Serve("Kelvo B720");
  EXPECT_TRUE(IdentifyPlatformModel());
  EXPECT_FALSE(gGenericSetInUse);
  EXPECT_STREQ(gEventTable.LookupText(0x7D, kGeneralEventCode), "");
  EXPECT_FALSE(TableKeyExists(kGenericEventTableName, kEventPetTableName));
}

TEST_F(ModelIdentificationTest, NoTableMeansNoModel) {
  Serve("Kelvo B720");
  std::memset(platform_.table.data(), 0, 4);  // layout kind 0
  bool parsed = true;
  EXPECT_FALSE(IdentifyPlatformModel(&parsed));
  EXPECT_FALSE(parsed);
  EXPECT_EQ(gModelIndex, kUntouched);
}

TEST_F(ModelIdentificationTest, FailedReadParsesNothing) {
  Serve("Kelvo B720");
  ASSERT_TRUE(IdentifyPlatformModel());
  gModelIndex = ModelIndex(kUntouched);
  std::strcpy(gInventory.productName, "kept");
  platform_.fail = true;
  bool parsed = true;
  EXPECT_FALSE(IdentifyPlatformModel(&parsed));
  EXPECT_FALSE(parsed);
  EXPECT_EQ(gModelIndex, kUntouched);
  EXPECT_STREQ(gInventory.productName, "kept");
}

// How often the table was asked for, and what the log says of the failures.
struct TableReads {
  int reads;
  int retries;   // warnings that a read failed and is tried again
  int giveUps;   // errors that every attempt failed
  bool operator==(const TableReads&) const = default;
};

struct RetryCase {
  const char* name;
  int failures;    // reads the provider fails before it answers
  bool stopAsked;  // the service is stopping while the start-up waits
  bool identified;
  TableReads seen;
};

TEST_F(ModelIdentificationTest, AFailedTableReadIsLoggedAndTriedAgainBoundedly) {
  const RetryCase cases[] = {
      {"the provider answers at the second read", 1, false, true, {2, 1, 0}},
      {"at the fifth and last", 4, false, true, {5, 4, 0}},
      {"never", 1000, false, false, {5, 4, 1}},
      {"a stop ends the waiting", 1000, true, false, {1, 1, 0}},
  };
  gTableRetryDelayMs = 1;
  for (const RetryCase& c : cases) {
    Serve("Kelvo B720");
    platform_.failTableReads = c.failures;
    platform_.exchanges.clear();
    gModelIndex = ModelIndex(kUntouched);
    gStopEvent = os::CreateUnnamedEvent(true, c.stopAsked);
    const std::size_t boxesBefore = os::memory::MessageBoxes().size();

    EXPECT_EQ(IdentifyPlatformModel(), c.identified) << c.name;
    TableReads seen{0, 0, 0};
    for (const Exchange& e : platform_.exchanges) seen.reads += e.code == kIoctlReadSmbiosTable;
    const auto boxes = os::memory::MessageBoxes();
    for (std::size_t i = boxesBefore; i < boxes.size(); ++i) {
      seen.retries += boxes[i].text.find("trying again") != std::string::npos;
      seen.giveUps += boxes[i].text.find("after 5 attempts") != std::string::npos;
    }
    EXPECT_EQ(seen, c.seen) << c.name << ": " << seen.reads << " reads";
    EXPECT_EQ(gModelIndex, c.identified ? kModelKelvoB720 : kUntouched) << c.name;
    os::CloseHandle(gStopEvent);
    gStopEvent = nullptr;
  }
}

TEST_F(ModelIdentificationTest, ModelWithoutUuidIsStillIdentified) {
  platform_.table = BuildSmbiosBuffer(Layout::kStandard, {SystemInformationWithoutUuid(1, "Kelvo B720")});
  EXPECT_TRUE(IdentifyPlatformModel());
  EXPECT_EQ(gModelIndex, 3);
  EXPECT_EQ(Snapshot().systemUuid, Uuid{});
}

}  // namespace
}  // namespace vigil::test
