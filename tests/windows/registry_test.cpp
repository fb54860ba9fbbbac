// The registry on the Win32 backend: the port's Reg*A wrappers and the RegKey rules over them.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "agent/config/reg_key.h"
#include "contract/registry_paths.h"
#include "os/os.h"
#include "peer_process.h"

namespace vigil::wintest {
namespace {

// A key of its own under HKLM for each test, removed afterwards.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override { base_ = "SOFTWARE\\VigilTest\\" + UniqueName("Key"); }
  void TearDown() override { os::RegDeleteKeyTree(base_.c_str()); }

  os::RegHandle Create(const std::string& relative = "") {
    os::RegHandle key = nullptr;
    const std::string path = relative.empty() ? base_ : base_ + "\\" + relative;
    EXPECT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    return key;
  }

  std::string base_;
};

TEST_F(Registry, CreateMakesParentsAndOpenFindsThemWhateverTheCase) {
  os::RegHandle key = Create("One\\Two");
  ASSERT_NE(key, nullptr);
  os::RegCloseKey(key);
  os::RegHandle opened = reinterpret_cast<os::RegHandle>(1);
  std::string upper = base_ + "\\ONE\\two";
  EXPECT_EQ(os::RegOpenKey(upper.c_str(), os::kKeyRead, &opened), os::kErrorSuccess);
  EXPECT_NE(opened, nullptr);
  os::RegCloseKey(opened);
  opened = reinterpret_cast<os::RegHandle>(1);
  EXPECT_EQ(os::RegOpenKey((base_ + "\\Missing").c_str(), os::kKeyRead, &opened),
            os::kErrorFileNotFound);
  EXPECT_EQ(opened, nullptr) << "a failed open must leave no stale handle";
}

struct ValueCase {
  const char* name;
  uint32_t type;
  std::vector<uint8_t> data;
};

TEST_F(Registry, ValuesKeepTheirTypeAndBytes) {
  const ValueCase cases[] = {
      {"Dword", os::kRegDword, {1, 2, 3, 4}},
      {"Text", os::kRegSz, {'a', 'b', 'c', 0}},
      {"Expand", os::kRegExpandSz, {'%', 'X', '%', 0}},
      {"Binary", os::kRegBinary, {0, 0xFF, 0x10}},
      {"Empty", os::kRegBinary, {}},
  };
  os::RegHandle key = Create();
  for (const ValueCase& c : cases) {
    ASSERT_EQ(os::RegSetValue(key, c.name, c.type, c.data.data(), uint32_t(c.data.size())),
              os::kErrorSuccess)
        << c.name;
  }
  for (const ValueCase& c : cases) {
    uint8_t buffer[16] = {};
    uint32_t type = 0;
    uint32_t size = sizeof buffer;
    ASSERT_EQ(os::RegQueryValue(key, c.name, &type, buffer, &size), os::kErrorSuccess) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    ASSERT_EQ(size, c.data.size()) << c.name;
    EXPECT_EQ(std::memcmp(buffer, c.data.data(), size), 0) << c.name;
  }
  os::RegCloseKey(key);
}

TEST_F(Registry, ShortBufferGetsMoreDataAndNothingPastItsEnd) {
  os::RegHandle key = Create();
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(os::RegSetValue(key, "Long", os::kRegBinary, data, sizeof data), os::kErrorSuccess);
  uint8_t buffer[8];
  std::memset(buffer, 0xCC, sizeof buffer);
  uint32_t size = 4;
  EXPECT_EQ(os::RegQueryValue(key, "Long", nullptr, buffer, &size), os::kErrorMoreData);
  EXPECT_EQ(size, 8u);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(buffer[i], 0xCC) << "byte " << i;
  // A null buffer asks for the size only.
  size = 0;
  EXPECT_EQ(os::RegQueryValue(key, "Long", nullptr, nullptr, &size), os::kErrorSuccess);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(os::RegQueryValue(key, "Missing", nullptr, buffer, &size), os::kErrorFileNotFound);
  // Data without a capacity cannot be received safely.
  EXPECT_EQ(os::RegQueryValue(key, "Long", nullptr, buffer, nullptr), os::kErrorInvalidParameter);
  os::RegCloseKey(key);
}

TEST_F(Registry, EnumerationListsValuesAndSubkeys) {
  os::RegHandle key = Create();
  const uint32_t one = 1;
  for (const char* name : {"alpha", "beta", "gamma"}) {
    ASSERT_EQ(os::RegSetValue(key, name, os::kRegDword, &one, 4), os::kErrorSuccess);
  }
  std::set<std::string> names;
  for (uint32_t i = 0;; ++i) {
    char name[32];
    uint32_t cap = sizeof name;
    uint32_t type = 0;
    uint32_t size = 0;
    const long rc = os::RegEnumValue(key, i, name, &cap, &type, nullptr, &size);
    if (rc == os::kErrorNoMoreItems) break;
    ASSERT_EQ(rc, os::kErrorSuccess);
    EXPECT_EQ(cap, std::strlen(name));
    EXPECT_EQ(type, os::kRegDword);
    EXPECT_EQ(size, 4u);
    names.insert(name);
    ASSERT_LT(i, 10u);
  }
  EXPECT_EQ(names, (std::set<std::string>{"alpha", "beta", "gamma"}));

  char tiny[3];
  uint32_t cap = sizeof tiny;
  EXPECT_EQ(os::RegEnumValue(key, 0, tiny, &cap, nullptr, nullptr, nullptr), os::kErrorMoreData);

  os::RegCloseKey(Create("Sub"));
  char sub[32];
  cap = sizeof sub;
  ASSERT_EQ(os::RegEnumKey(key, 0, sub, &cap), os::kErrorSuccess);
  EXPECT_STREQ(sub, "Sub");
  cap = sizeof sub;
  EXPECT_EQ(os::RegEnumKey(key, 1, sub, &cap), os::kErrorNoMoreItems);
  os::RegCloseKey(key);
}

TEST_F(Registry, DeletingValuesAndWholeTrees) {
  os::RegHandle key = Create("A\\B");
  const uint32_t one = 1;
  ASSERT_EQ(os::RegSetValue(key, "v", os::kRegDword, &one, 4), os::kErrorSuccess);
  EXPECT_EQ(os::RegDeleteValue(key, "v"), os::kErrorSuccess);
  EXPECT_EQ(os::RegDeleteValue(key, "v"), os::kErrorFileNotFound);
  os::RegCloseKey(key);

  EXPECT_EQ(os::RegDeleteKeyTree(base_.c_str()), os::kErrorSuccess);
  os::RegHandle gone = nullptr;
  EXPECT_EQ(os::RegOpenKey(base_.c_str(), os::kKeyRead, &gone), os::kErrorFileNotFound);
  EXPECT_EQ(os::RegDeleteKeyTree(base_.c_str()), os::kErrorFileNotFound);
  // Never HKLM itself.
  EXPECT_EQ(os::RegDeleteKeyTree(""), os::kErrorInvalidParameter);
}

// --- RegKey -------------------------------------------------------------------------------

class RegKeyRules : public Registry {
 protected:
  std::string Base() const { return base_ + "\\"; }
  void Put(const char* name, uint32_t type, const void* data, uint32_t size) {
    os::RegHandle key = Create();
    ASSERT_EQ(os::RegSetValue(key, name, type, data, size), os::kErrorSuccess);
    os::RegCloseKey(key);
  }
};

TEST_F(RegKeyRules, OpenCreatesAMissingKeyWithItsParents) {
  RegKey key;
  ASSERT_EQ(key.Open(Base().c_str(), "New\\Deeper"), 0);
  key.Close();
  os::RegHandle opened = nullptr;
  EXPECT_EQ(os::RegOpenKey((Base() + "New\\Deeper").c_str(), os::kKeyRead, &opened),
            os::kErrorSuccess);
  os::RegCloseKey(opened);
}

TEST_F(RegKeyRules, AFailedReadClosesTheKeyForEveryLaterStep) {
  const uint32_t one = 1;
  Put("present", os::kRegDword, &one, 4);
  RegKey key;
  ASSERT_EQ(key.Open(Base().c_str(), ""), 0);
  uint32_t value = 0;
  EXPECT_EQ(key.ReadValue("missing", &value, sizeof value), -1);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.ReadValue("present", &value, sizeof value), -1) << "the key is closed now";
  EXPECT_EQ(key.WriteDword("present", 2), -1);
  key.Close();  // nothing left to close
  EXPECT_FALSE(key.IsOpen());
}

struct ReadCase {
  const char* what;
  uint32_t stored;     // bytes in the registry
  uint32_t capacity;   // destination size
  int failed;
};

class ReadLimits : public RegKeyRules, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadLimits, DataMustFitTheDestinationAndTheFixedLimit) {
  const ReadCase& c = GetParam();
  std::vector<uint8_t> data(c.stored, 0x5A);
  Put("data", os::kRegBinary, data.data(), c.stored);
  std::vector<uint8_t> destination(c.capacity + 16, 0xCC);
  RegKey key;
  ASSERT_EQ(key.Open(Base().c_str(), ""), 0);
  EXPECT_EQ(key.ReadValue("data", destination.data(), c.capacity), c.failed ? -1 : 0) << c.what;
  for (std::size_t i = c.capacity; i < destination.size(); ++i) {
    ASSERT_EQ(destination[i], 0xCC) << c.what << ": written past the destination at " << i;
  }
  key.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ReadLimits,
    ::testing::Values(ReadCase{"fits", 4, 4, 0}, ReadCase{"exactly the limit", 260, 260, 0},
                      ReadCase{"longer than the destination", 8, 4, 1},
                      ReadCase{"past the limit in a large destination", 261, 400, 1},
                      ReadCase{"far past everything", 4000, 260, 1}));

TEST_F(RegKeyRules, ReadDwordTakesOnlyAWholeDword) {
  const char text[] = "1";
  const uint16_t shortValue = 7;
  const uint32_t good = 0x01020304;
  Put("text", os::kRegSz, text, sizeof text);
  Put("short", os::kRegDword, &shortValue, sizeof shortValue);
  Put("good", os::kRegDword, &good, sizeof good);
  for (const char* bad : {"text", "short"}) {
    RegKey key;
    ASSERT_EQ(key.Open(Base().c_str(), ""), 0);
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(key.ReadDword(bad, &value), -1) << bad;
    EXPECT_EQ(value, 0xDEADBEEFu) << bad << ": the variable took bytes that were not read";
  }
  RegKey key;
  ASSERT_EQ(key.Open(Base().c_str(), ""), 0);
  uint32_t value = 0;
  EXPECT_EQ(key.ReadDword("good", &value), 0);
  EXPECT_EQ(value, good);
  key.Close();
}

TEST_F(RegKeyRules, EnumerationStopsAtTheFirstEmptyValue) {
  // Names in alphabetical order, which is also the order they are made in, so the result does
  // not depend on whether the registry lists values by name (Wine) or by creation (Windows).
  const char first[] = "one";
  const char second[] = "two";
  Put("a", os::kRegSz, first, sizeof first);
  Put("b", os::kRegSz, second, sizeof second);
  Put("c", os::kRegSz, "", 0);
  Put("d", os::kRegSz, first, sizeof first);
  RegKey key;
  ASSERT_EQ(key.Open(Base().c_str(), ""), 0);
  std::vector<std::string> seen;
  char name[kRegBufferSize];
  uint8_t data[kRegBufferSize];
  uint32_t length = 0;
  for (uint32_t i = 0; key.EnumValue(name, i, data, &length) == 0; ++i) {
    seen.push_back(name);
    ASSERT_LT(i, 10u);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(key.IsOpen()) << "the failure that ends the walk closes the key";
}

// The joined path has a 260-byte buffer: 259 characters and the terminator fit, one more does
// not, and a path that fits reaches the registry whole.
TEST_F(RegKeyRules, JoinedPathOfExactly259CharactersFitsAndOneMoreDoesNot) {
  const std::string base = Base();
  ASSERT_LT(base.size(), 100u);
  // Components stay under the registry's 255-character limit for one key name.
  auto subkeyOfTotal = [&](std::size_t total) {
    const std::size_t rest = total - base.size();
    return std::string(100, 'p') + "\\" + std::string(rest - 101, 'q');
  };
  const std::string fits = subkeyOfTotal(259);
  RegKey key;
  ASSERT_EQ(key.Open(base.c_str(), fits.c_str()), 0);
  key.Close();
  os::RegHandle opened = nullptr;
  EXPECT_EQ(os::RegOpenKey((base + fits).c_str(), os::kKeyRead, &opened), os::kErrorSuccess);
  os::RegCloseKey(opened);

  const std::string tooLong = subkeyOfTotal(260);
  EXPECT_EQ(key.Open(base.c_str(), tooLong.c_str()), -1);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(os::RegOpenKey((base + tooLong).c_str(), os::kKeyRead, &opened),
            os::kErrorFileNotFound)
      << "a refused path must not be created cut short or whole";
}

}  // namespace
}  // namespace vigil::wintest
