// RegKey on the in-memory registry, fresh for each test.
#include "agent/config/reg_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract/registry_paths.h"
#include "support/memory_machine.h"

namespace vigil {
namespace {

const std::string kBase = kParametersBasePath;
const std::string kPath = kBase + "T";

void Put(const std::string& path, const char* name, uint32_t type, const std::vector<uint8_t>& data) {
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
  ASSERT_EQ(os::RegSetValue(key, name, type, data.data(), uint32_t(data.size())), os::kErrorSuccess);
  os::RegCloseKey(key);
}

bool Exists(const std::string& path) {
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
  os::RegCloseKey(key);
  return true;
}

class RegKeyTest : public ::testing::Test {
 protected:
  test::MemoryMachine machine_;
  RegKey key_;
};

TEST_F(RegKeyTest, FailedReadClosesKeySoLaterStepsFailWithoutTouchingTheRegistry) {
  Put(kPath, "present", os::kRegDword, {7, 0, 0, 0});
  ASSERT_EQ(key_.Open(kBase.c_str(), "T"), 0);
  uint32_t value = 0xDEADBEEF;
  EXPECT_EQ(key_.ReadDword("missing", &value), -1);
  EXPECT_FALSE(key_.IsOpen());
  EXPECT_EQ(key_.ReadDword("present", &value), -1);
  EXPECT_EQ(key_.WriteDword("written", 5), -1);
  EXPECT_EQ(value, 0xDEADBEEFu);
  key_.Close();
  ASSERT_EQ(key_.Open(kBase.c_str(), "T"), 0);
  EXPECT_EQ(key_.ReadDword("written", &value), -1);
}

// Only a whole REG_DWORD is taken; on anything else the variable keeps every byte it had.
TEST_F(RegKeyTest, ReadDwordTakesOnlyWholeDwords) {
  struct Case { uint32_t type; std::vector<uint8_t> data; bool ok; };
  const Case cases[] = {{os::kRegDword, {1, 2, 3, 4}, true}, {os::kRegDword, {1, 0}, false},
                        {os::kRegDword, {}, false},          {os::kRegDword, {1, 0, 0, 0, 0}, false},
                        {os::kRegSz, {'1', 0}, false},       {os::kRegBinary, {1, 0, 0, 0}, false}};
  for (const Case& c : cases) {
    Put(kPath, "v", c.type, c.data);
    ASSERT_EQ(key_.Open(kBase.c_str(), "T"), 0);
    uint32_t value = 0xA5A5A5A5;
    EXPECT_EQ(key_.ReadDword("v", &value), c.ok ? 0 : -1) << c.type << "/" << c.data.size();
    EXPECT_EQ(value, c.ok ? 0x04030201u : 0xA5A5A5A5u);
    key_.Close();
  }
}

TEST_F(RegKeyTest, ReadValueRefusesDataLongerThanDestinationOrLimit) {
  Put(kPath, "big", os::kRegBinary, std::vector<uint8_t>(kRegBufferSize + 1, 1));
  std::vector<uint8_t> roomy(1024);
  ASSERT_EQ(key_.Open(kBase.c_str(), "T"), 0);
  EXPECT_EQ(key_.ReadValue("big", roomy.data(), uint32_t(roomy.size())), -1);
  EXPECT_FALSE(key_.IsOpen());
}

// Data must fit both the destination and the fixed limit, and nothing is written past the
// destination either way.
TEST_F(RegKeyTest, ReadValueTakesDataThatFitsTheDestinationAndTheLimit) {
  struct Case { const char* what; uint32_t stored, capacity; bool ok; };
  const Case cases[] = {{"fits", 4, 4, true}, {"exactly the limit", kRegBufferSize, kRegBufferSize, true},
                        {"longer than the destination", 8, 4, false},
                        {"far past everything", 4000, kRegBufferSize, false}};
  for (const Case& c : cases) {
    Put(kPath, "data", os::kRegBinary, std::vector<uint8_t>(c.stored, 0x5A));
    std::vector<uint8_t> destination(c.capacity + 16, 0xCC);
    ASSERT_EQ(key_.Open(kBase.c_str(), "T"), 0);
    EXPECT_EQ(key_.ReadValue("data", destination.data(), c.capacity), c.ok ? 0 : -1) << c.what;
    for (std::size_t i = c.capacity; i < destination.size(); ++i) ASSERT_EQ(destination[i], 0xCC) << c.what << " " << i;
    key_.Close();
  }
}

TEST_F(RegKeyTest, EnumerationStopsAtFirstEmptyValue) {
  Put(kPath, "first", os::kRegSz, {'1', 0});
  Put(kPath, "second", os::kRegSz, {'2', 0});
  Put(kPath, "third", os::kRegSz, {});
  Put(kPath, "fourth", os::kRegSz, {'4', 0});
  ASSERT_EQ(key_.Open(kBase.c_str(), "T"), 0);
  char name[kRegBufferSize];
  uint8_t data[kRegBufferSize];
  uint32_t length = 0;
  ASSERT_EQ(key_.EnumValue(name, 0, data, &length), 0);
  EXPECT_STREQ(name, "first");
  ASSERT_EQ(key_.EnumValue(name, 1, data, &length), 0);
  EXPECT_STREQ(name, "second");
  EXPECT_EQ(key_.EnumValue(name, 2, data, &length), -1);
  EXPECT_FALSE(key_.IsOpen());
}

// Base path, subkey and terminator share one 260-byte buffer.
TEST_F(RegKeyTest, PathOf259CharactersFitsWholeAndLongerIsRefused) {
  const std::string fits(kRegBufferSize - 1 - kBase.size(), 'k');
  ASSERT_EQ(key_.Open(kBase.c_str(), fits.c_str()), 0);
  key_.Close();
  EXPECT_TRUE(Exists(kBase + fits));

  const std::string tooLong = fits + "x";
  EXPECT_EQ(key_.Open(kBase.c_str(), tooLong.c_str()), -1);
  EXPECT_FALSE(Exists(kBase + tooLong));
  EXPECT_EQ(key_.Open(std::string(100000, 'x').c_str(), ""), -1);
}

TEST_F(RegKeyTest, CorruptDatabaseGivesFailedFlags) {
  os::memory::BreakRegistry();
  uint32_t value = 1;
  if (key_.Open(kBase.c_str(), "T") == 0) {
    EXPECT_EQ(key_.ReadDword("v", &value), -1);
  }
  EXPECT_FALSE(key_.IsOpen());
}

}  // namespace
}  // namespace vigil
