// The registry on the Win32 backend: the port's Reg*A wrappers. The RegKey rules over them are
// the shared cases of tests/config, which run in this build too.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace vigil::wintest
