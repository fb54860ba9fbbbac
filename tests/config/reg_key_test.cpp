// RegKey on the real registry backend, one fresh sandbox per test.
#include "config/reg_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/registry_helpers.h"
#include "config/registry_paths.h"
#include "support/sandbox.h"

namespace vigil {
namespace {

using test::PutDword;
using test::PutValue;

const std::string kBase = kParametersBasePath;
const std::string kSub = "RegKey Test";
const std::string kPath = kBase + kSub;

class RegKeyTest : public ::testing::Test {
 protected:
  test::Sandbox sandbox_;
};

TEST_F(RegKeyTest, OpenCreatesMissingKeyWithParents) {
  ASSERT_FALSE(test::KeyExists(kPath));
  RegKey key;
  EXPECT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  EXPECT_TRUE(key.IsOpen());
  key.Close();
  EXPECT_TRUE(test::KeyExists(kPath));
  EXPECT_TRUE(test::KeyExists("SOFTWARE\\NVXAgents\\VigilAgent"));
}

TEST_F(RegKeyTest, FailedReadClosesKeySoSecondReadFailsAndCloseIsNoOp) {
  ASSERT_TRUE(PutDword(kPath, "present", 7));
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  uint32_t value = 0xDEADBEEF;
  EXPECT_EQ(key.ReadDword("missing", &value), 1);
  EXPECT_FALSE(key.IsOpen());
  // The value exists, but the key is closed: the read must not reach the registry.
  EXPECT_EQ(key.ReadDword("present", &value), 1);
  EXPECT_EQ(value, 0xDEADBEEFu);
  key.Close();
  EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegKeyTest, FailedReadValueAlsoClosesKey) {
  ASSERT_TRUE(PutValue(kPath, "long", os::kRegBinary, std::vector<uint8_t>(8, 0xAB)));
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  uint8_t small[4] = {};
  EXPECT_EQ(key.ReadValue("long", small, sizeof small), 1);
  EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegKeyTest, WriteAfterFailureDoesNotTouchRegistry) {
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  uint32_t value = 0;
  ASSERT_EQ(key.ReadDword("missing", &value), 1);
  EXPECT_EQ(key.WriteDword("written", 5), 1);
  EXPECT_FALSE(test::GetValue(kPath, "written").has_value());
}

TEST_F(RegKeyTest, WriteDwordStoresFourByteDword) {
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  ASSERT_EQ(key.WriteDword("v", 0x01020304), 0);
  key.Close();
  auto stored = test::GetValue(kPath, "v");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, os::kRegDword);
  EXPECT_EQ(stored->data, (std::vector<uint8_t>{4, 3, 2, 1}));
}

// ReadDword takes only a whole REG_DWORD; anything else fails and leaves the variable alone.
struct DwordCase {
  const char* what;
  uint32_t type;
  std::vector<uint8_t> data;
  bool ok;
  uint32_t expected;
};

class ReadDwordTest : public RegKeyTest, public ::testing::WithParamInterface<DwordCase> {};

TEST_P(ReadDwordTest, TakesOnlyWholeDwords) {
  const DwordCase& c = GetParam();
  ASSERT_TRUE(PutValue(kPath, "v", c.type, c.data));
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  uint32_t value = 0xA5A5A5A5;
  EXPECT_EQ(key.ReadDword("v", &value), c.ok ? 0 : 1);
  EXPECT_EQ(value, c.ok ? c.expected : 0xA5A5A5A5u);
  EXPECT_EQ(key.IsOpen(), c.ok);
  key.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadDwordTest,
    ::testing::Values(DwordCase{"dword", os::kRegDword, {1, 0, 0, 0}, true, 1},
                      DwordCase{"dword max", os::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, true, 0xFFFFFFFF},
                      DwordCase{"dword two bytes", os::kRegDword, {1, 0}, false, 0},
                      DwordCase{"dword one byte", os::kRegDword, {1}, false, 0},
                      DwordCase{"dword empty", os::kRegDword, {}, false, 0},
                      DwordCase{"dword eight bytes", os::kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}, false, 0},
                      DwordCase{"string", os::kRegSz, {'1', 0}, false, 0},
                      DwordCase{"four byte string", os::kRegSz, {'1', '2', '3', 0}, false, 0},
                      DwordCase{"binary", os::kRegBinary, {1, 0, 0, 0}, false, 0}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name) if (ch == ' ') ch = '_';
      return name;
    });

TEST_F(RegKeyTest, ReadValueTakesAnyTypeUpToCapacity) {
  ASSERT_TRUE(PutValue(kPath, "s", os::kRegSz, {'a', 'b', 0}));
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  char text[3] = {'x', 'x', 'x'};
  EXPECT_EQ(key.ReadValue("s", text, sizeof text), 0);
  EXPECT_STREQ(text, "ab");
  EXPECT_TRUE(key.IsOpen());
  key.Close();
}

TEST_F(RegKeyTest, ReadValueRefusesDataLongerThanTheFixedLimit) {
  ASSERT_TRUE(PutValue(kPath, "big", os::kRegBinary, std::vector<uint8_t>(kRegBufferSize + 1, 1)));
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  std::vector<uint8_t> roomy(1024);
  EXPECT_EQ(key.ReadValue("big", roomy.data(), static_cast<uint32_t>(roomy.size())), 1);
  EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegKeyTest, EnumerationStopsAtFirstEmptyValue) {
  ASSERT_TRUE(PutValue(kPath, "first", os::kRegSz, {'1', 0}));
  ASSERT_TRUE(PutValue(kPath, "second", os::kRegSz, {'2', 0}));
  ASSERT_TRUE(PutValue(kPath, "third", os::kRegSz, {}));
  ASSERT_TRUE(PutValue(kPath, "fourth", os::kRegSz, {'4', 0}));
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  char name[kRegBufferSize];
  uint8_t data[kRegBufferSize];
  uint32_t length = 0;
  ASSERT_EQ(key.EnumValue(name, 0, data, &length), 0);
  EXPECT_STREQ(name, "first");
  EXPECT_EQ(length, 2u);
  ASSERT_EQ(key.EnumValue(name, 1, data, &length), 0);
  EXPECT_STREQ(name, "second");
  EXPECT_EQ(key.EnumValue(name, 2, data, &length), 1);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.EnumValue(name, 3, data, &length), 1);
}

TEST_F(RegKeyTest, EnumerationFailsPastTheEndAndOnOversizedData) {
  ASSERT_TRUE(PutValue(kPath, "only", os::kRegSz, {'1', 0}));
  ASSERT_TRUE(PutValue(kPath, "huge", os::kRegBinary, std::vector<uint8_t>(kRegBufferSize + 1, 1)));
  RegKey key;
  char name[kRegBufferSize];
  uint8_t data[kRegBufferSize];
  uint32_t length = 0;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  EXPECT_EQ(key.EnumValue(name, 1, data, &length), 1);
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  EXPECT_EQ(key.EnumValue(name, 2, data, &length), 1);
  EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegKeyTest, RewrittenValueKeepsItsPlaceInTheEnumeration) {
  ASSERT_TRUE(PutDword(kPath, "a", 1));
  ASSERT_TRUE(PutDword(kPath, "b", 2));
  ASSERT_TRUE(PutDword(kPath, "a", 3));
  RegKey key;
  ASSERT_EQ(key.Open(kBase.c_str(), kSub.c_str()), 0);
  char name[kRegBufferSize];
  uint8_t data[kRegBufferSize];
  uint32_t length = 0;
  ASSERT_EQ(key.EnumValue(name, 0, data, &length), 0);
  EXPECT_STREQ(name, "a");
  EXPECT_EQ(data[0], 3);
  key.Close();
}

// The joined path and its terminator share one 260-byte buffer: 259 characters fit whole,
// one more is refused and creates nothing.
TEST_F(RegKeyTest, PathOf259CharactersFitsWhole) {
  const std::string subkey(kRegBufferSize - 1 - kBase.size(), 'k');
  RegKey key;
  ASSERT_EQ((kBase + subkey).size(), 259u);
  ASSERT_EQ(key.Open(kBase.c_str(), subkey.c_str()), 0);
  ASSERT_EQ(key.WriteDword("v", 9), 0);
  key.Close();
  auto stored = test::GetValue(kBase + subkey, "v");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->data[0], 9);
}

TEST_F(RegKeyTest, PathOf260CharactersIsRefused) {
  const std::string subkey(kRegBufferSize - kBase.size(), 'k');
  RegKey key;
  ASSERT_EQ((kBase + subkey).size(), 260u);
  EXPECT_EQ(key.Open(kBase.c_str(), subkey.c_str()), 1);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(test::KeyExists(kBase + subkey));
  EXPECT_FALSE(test::KeyExists(kBase + subkey.substr(0, subkey.size() - 1)));
}

TEST_F(RegKeyTest, VeryLongPieceIsRefused) {
  const std::string huge(100000, 'x');
  RegKey key;
  EXPECT_EQ(key.Open(huge.c_str(), ""), 1);
  EXPECT_EQ(key.Open("", huge.c_str()), 1);
  EXPECT_EQ(key.Open(nullptr, "x"), 1);
}

TEST_F(RegKeyTest, CorruptDatabaseGivesFailedFlags) {
  sandbox_.WriteFile("var/lib/vigilagent/registry.db", std::string(8192, '\x5A'));
  RegKey key;
  uint32_t value = 1;
  if (key.Open(kBase.c_str(), kSub.c_str()) == 0) {
    // Whatever step notices the damage first, it fails and leaves the key closed.
    EXPECT_EQ(key.ReadDword("v", &value), 1);
  }
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(value, 1u);
}

}  // namespace
}  // namespace vigil
