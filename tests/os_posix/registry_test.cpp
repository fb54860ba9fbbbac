#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "os/os.h"
#include "support/sandbox.h"

namespace {

using vigil::test::Sandbox;

constexpr const char* kParameters = "SOFTWARE\\NVXAgents\\VigilAgent\\Parameters";

// An open key that closes itself; the test fails at once if it cannot be made.
class Key {
 public:
  explicit Key(const char* path, uint32_t access = os::kKeyAllAccess) {
    result_ = os::RegCreateKey(path, access, &handle_);
  }
  ~Key() {
    if (handle_ != nullptr) os::RegCloseKey(handle_);
  }
  long result() const { return result_; }
  os::RegHandle get() const { return handle_; }

 private:
  os::RegHandle handle_ = nullptr;
  long result_;
};

long SetString(os::RegHandle key, const char* name, const std::string& text) {
  return os::RegSetValue(key, name, os::kRegSz, text.c_str(), uint32_t(text.size() + 1));
}

long SetDword(os::RegHandle key, const char* name, uint32_t value) {
  return os::RegSetValue(key, name, os::kRegDword, &value, sizeof value);
}

std::vector<std::string> ValueNames(os::RegHandle key) {
  std::vector<std::string> names;
  for (uint32_t i = 0;; ++i) {
    char name[260];
    uint32_t cap = sizeof name;
    long rc = os::RegEnumValue(key, i, name, &cap, nullptr, nullptr, nullptr);
    if (rc != os::kErrorSuccess) {
      EXPECT_EQ(rc, os::kErrorNoMoreItems);
      return names;
    }
    names.emplace_back(name, cap);
  }
}

std::vector<std::string> SubkeyNames(os::RegHandle key) {
  std::vector<std::string> names;
  for (uint32_t i = 0;; ++i) {
    char name[260];
    uint32_t cap = sizeof name;
    long rc = os::RegEnumKey(key, i, name, &cap);
    if (rc != os::kErrorSuccess) {
      EXPECT_EQ(rc, os::kErrorNoMoreItems);
      return names;
    }
    names.emplace_back(name, cap);
  }
}

TEST(Registry, CreateMakesMissingParentsAndEveryPrefixOpens) {
  Sandbox sandbox;
  Key key("SOFTWARE\\NVXAgents\\VigilAgent\\Parameters\\RegAgent Parameter");
  ASSERT_EQ(key.result(), os::kErrorSuccess);
  for (const char* path : {"SOFTWARE", "SOFTWARE\\NVXAgents", kParameters}) {
    os::RegHandle opened = nullptr;
    EXPECT_EQ(os::RegOpenKey(path, os::kKeyRead, &opened), os::kErrorSuccess) << path;
    os::RegCloseKey(opened);
  }
  os::RegHandle absent = nullptr;
  EXPECT_EQ(os::RegOpenKey("SOFTWARE\\Nobody", os::kKeyRead, &absent), os::kErrorFileNotFound);
  EXPECT_EQ(absent, nullptr);
}

TEST(Registry, KeysCompareWithoutCaseAndKeepTheFirstCase) {
  Sandbox sandbox;
  Key first("SOFTWARE\\Vendor\\App");
  Key second("software\\VENDOR\\app\\Sub");
  ASSERT_EQ(second.result(), os::kErrorSuccess);
  Key vendor("SOFTWARE\\VENDOR");
  EXPECT_EQ(SubkeyNames(vendor.get()), std::vector<std::string>{"App"});
  ASSERT_EQ(SetDword(first.get(), "x", 1), os::kErrorSuccess);
  Key upper("SOFTWARE\\VENDOR\\APP");
  uint32_t value = 0, size = sizeof value;
  EXPECT_EQ(os::RegQueryValue(upper.get(), "X", nullptr, &value, &size), os::kErrorSuccess);
  EXPECT_EQ(value, 1u);
}

TEST(Registry, SeparatorNoiseNamesTheSameKey) {
  Sandbox sandbox;
  Key key("A\\B");
  ASSERT_EQ(SetDword(key.get(), "v", 7), os::kErrorSuccess);
  for (const char* path : {"A\\\\B", "A\\B\\", "\\A\\B", "a\\\\b\\\\"}) {
    Key same(path);
    uint32_t value = 0, size = sizeof value;
    EXPECT_EQ(os::RegQueryValue(same.get(), "v", nullptr, &value, &size), os::kErrorSuccess)
        << path;
    EXPECT_EQ(value, 7u) << path;
  }
  os::RegHandle none = nullptr;
  for (const char* path : {"", "\\", "\\\\\\"}) {
    EXPECT_EQ(os::RegCreateKey(path, os::kKeyAllAccess, &none), os::kErrorInvalidParameter);
  }
  EXPECT_EQ(os::RegCreateKey(std::string(256, 'k').c_str(), os::kKeyAllAccess, &none),
            os::kErrorInvalidParameter);
}

TEST(Registry, ValuesEnumerateInCreationOrderAndARewriteKeepsItsPlace) {
  Sandbox sandbox;
  Key key(kParameters);
  ASSERT_EQ(SetDword(key.get(), "offset", 1), os::kErrorSuccess);
  ASSERT_EQ(SetDword(key.get(), "first_log_time", 2), os::kErrorSuccess);
  ASSERT_EQ(SetString(key.get(), "Zeta", "z"), os::kErrorSuccess);
  ASSERT_EQ(SetString(key.get(), "OFFSET", "now a string"), os::kErrorSuccess);
  EXPECT_EQ(ValueNames(key.get()),
            (std::vector<std::string>{"offset", "first_log_time", "Zeta"}));
  uint32_t type = 0;
  char text[32] = {};
  uint32_t size = sizeof text;
  ASSERT_EQ(os::RegQueryValue(key.get(), "offset", &type, text, &size), os::kErrorSuccess);
  EXPECT_EQ(type, os::kRegSz);
  EXPECT_STREQ(text, "now a string");
  EXPECT_EQ(size, 13u);
}

TEST(Registry, DeletedValueLeavesTheOthersInOrder) {
  Sandbox sandbox;
  Key key("K");
  for (const char* name : {"a", "b", "c"}) ASSERT_EQ(SetDword(key.get(), name, 0), 0);
  EXPECT_EQ(os::RegDeleteValue(key.get(), "B"), os::kErrorSuccess);
  EXPECT_EQ(os::RegDeleteValue(key.get(), "b"), os::kErrorFileNotFound);
  ASSERT_EQ(SetDword(key.get(), "b", 0), 0);  // a new value goes last
  EXPECT_EQ(ValueNames(key.get()), (std::vector<std::string>{"a", "c", "b"}));
}

struct CapacityCase {
  uint32_t capacity;
  long result;
  uint32_t reportedSize;
};

class QueryCapacityTest : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(QueryCapacityTest, NeverWritesPastTheCapacity) {
  Sandbox sandbox;
  Key key("K");
  const std::string stored = "0123456789";  // 10 bytes, no terminator
  ASSERT_EQ(os::RegSetValue(key.get(), "v", os::kRegBinary, stored.data(), 10), 0);
  const CapacityCase& c = GetParam();
  unsigned char buffer[32];
  std::memset(buffer, 0xEE, sizeof buffer);
  uint32_t size = c.capacity;
  uint32_t type = 0;
  EXPECT_EQ(os::RegQueryValue(key.get(), "v", &type, buffer, &size), c.result);
  EXPECT_EQ(size, c.reportedSize);
  EXPECT_EQ(type, os::kRegBinary);
  for (std::size_t i = c.capacity; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
  if (c.result == os::kErrorSuccess) {
    EXPECT_EQ(std::memcmp(buffer, stored.data(), 10), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Capacities, QueryCapacityTest,
                         ::testing::Values(CapacityCase{0, os::kErrorMoreData, 10},
                                           CapacityCase{4, os::kErrorMoreData, 10},
                                           CapacityCase{9, os::kErrorMoreData, 10},
                                           CapacityCase{10, os::kErrorSuccess, 10},
                                           CapacityCase{16, os::kErrorSuccess, 10}),
    [](const auto& info) { return "capacity_" + std::to_string(info.param.capacity); });

TEST(Registry, QueryWithoutBufferReportsTheSize) {
  Sandbox sandbox;
  Key key("K");
  ASSERT_EQ(SetString(key.get(), "s", "hello"), 0);
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValue(key.get(), "s", nullptr, nullptr, &size), os::kErrorSuccess);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(os::RegQueryValue(key.get(), "missing", nullptr, nullptr, &size),
            os::kErrorFileNotFound);
  char data[8];
  EXPECT_EQ(os::RegQueryValue(key.get(), "s", nullptr, data, nullptr), os::kErrorInvalidParameter);
}

TEST(Registry, EnumNameCapacityCountsTheTerminator) {
  Sandbox sandbox;
  Key key("K");
  ASSERT_EQ(os::RegSetValue(key.get(), "abcd", os::kRegBinary, "xyz", 3), 0);
  char name[8];
  std::memset(name, '#', sizeof name);
  uint32_t cap = 4;
  EXPECT_EQ(os::RegEnumValue(key.get(), 0, name, &cap, nullptr, nullptr, nullptr),
            os::kErrorMoreData);
  EXPECT_EQ(std::string(name, sizeof name), std::string(8, '#'));
  cap = 5;
  uint32_t type = 0;
  unsigned char data[4];
  uint32_t dataSize = 2;
  EXPECT_EQ(os::RegEnumValue(key.get(), 0, name, &cap, &type, data, &dataSize),
            os::kErrorMoreData);  // the name fits, the data does not
  EXPECT_EQ(dataSize, 3u);
  dataSize = 3;
  cap = 5;
  EXPECT_EQ(os::RegEnumValue(key.get(), 0, name, &cap, &type, data, &dataSize), 0);
  EXPECT_EQ(cap, 4u);
  EXPECT_STREQ(name, "abcd");
  EXPECT_EQ(type, os::kRegBinary);
  cap = sizeof name;
  EXPECT_EQ(os::RegEnumValue(key.get(), 1, name, &cap, nullptr, nullptr, nullptr),
            os::kErrorNoMoreItems);
}

TEST(Registry, EmptyValueReadsBackEmpty) {
  Sandbox sandbox;
  Key key("K");
  ASSERT_EQ(os::RegSetValue(key.get(), "empty", os::kRegBinary, nullptr, 0), 0);
  ASSERT_EQ(os::RegSetValue(key.get(), nullptr, os::kRegSz, "d", 2), 0);  // default value
  char data[4];
  uint32_t size = sizeof data;
  EXPECT_EQ(os::RegQueryValue(key.get(), "empty", nullptr, data, &size), 0);
  EXPECT_EQ(size, 0u);
  size = sizeof data;
  EXPECT_EQ(os::RegQueryValue(key.get(), "", nullptr, data, &size), 0);
  EXPECT_STREQ(data, "d");
  EXPECT_EQ(os::RegSetValue(key.get(), "bad", os::kRegBinary, nullptr, 4),
            os::kErrorInvalidParameter);
}

TEST(Registry, DeleteTreeRemovesKeyValuesAndSubkeysButNotLookalikeSiblings) {
  Sandbox sandbox;
  {
    Key deep("Root\\Tree\\Child\\Grandchild");
    ASSERT_EQ(SetDword(deep.get(), "v", 1), 0);
    Key tree("Root\\Tree");
    ASSERT_EQ(SetDword(tree.get(), "v", 1), 0);
    Key sibling("Root\\TreeHouse");  // shares the prefix "Root\Tree"
    ASSERT_EQ(SetDword(sibling.get(), "v", 2), 0);
  }
  EXPECT_EQ(os::RegDeleteKeyTree("ROOT\\tree"), os::kErrorSuccess);
  os::RegHandle gone = nullptr;
  EXPECT_EQ(os::RegOpenKey("Root\\Tree", os::kKeyRead, &gone), os::kErrorFileNotFound);
  EXPECT_EQ(os::RegOpenKey("Root\\Tree\\Child\\Grandchild", os::kKeyRead, &gone),
            os::kErrorFileNotFound);
  Key sibling("Root\\TreeHouse");
  uint32_t value = 0, size = sizeof value;
  EXPECT_EQ(os::RegQueryValue(sibling.get(), "v", nullptr, &value, &size), 0);
  EXPECT_EQ(value, 2u);
  Key root("Root");
  EXPECT_EQ(SubkeyNames(root.get()), std::vector<std::string>{"TreeHouse"});
  EXPECT_EQ(os::RegDeleteKeyTree("Root\\Tree"), os::kErrorFileNotFound);
  EXPECT_EQ(os::RegDeleteKeyTree(""), os::kErrorInvalidParameter);  // never all of HKLM
  EXPECT_EQ(os::RegDeleteKeyTree(nullptr), os::kErrorInvalidParameter);
}

TEST(Registry, HandleOfADeletedKeyFailsAndLeavesNoOrphans) {
  Sandbox sandbox;
  Key key("Gone\\Soon");
  ASSERT_EQ(os::RegDeleteKeyTree("Gone"), 0);
  EXPECT_NE(SetDword(key.get(), "v", 1), os::kErrorSuccess);
  uint32_t size = 0;
  EXPECT_NE(os::RegQueryValue(key.get(), "v", nullptr, nullptr, &size), os::kErrorSuccess);
  Key again("Gone\\Soon");  // a new key of the same name is a new, empty key
  EXPECT_TRUE(ValueNames(again.get()).empty());
}

TEST(Registry, AccessRightsOfTheHandleAreEnforced) {
  Sandbox sandbox;
  Key readOnly("K", os::kKeyRead);
  EXPECT_EQ(SetDword(readOnly.get(), "v", 1), os::kErrorAccessDenied);
  Key writeOnly("K", os::kKeySetValue);
  EXPECT_EQ(SetDword(writeOnly.get(), "v", 1), os::kErrorSuccess);
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValue(writeOnly.get(), "v", nullptr, nullptr, &size),
            os::kErrorAccessDenied);
  EXPECT_EQ(os::RegQueryValue(readOnly.get(), "v", nullptr, nullptr, &size), 0);
}

TEST(Registry, ClosedOrForeignHandlesAreInvalid) {
  Sandbox sandbox;
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegCreateKey("K", os::kKeyAllAccess, &key), 0);
  EXPECT_EQ(os::RegCloseKey(nullptr), os::kErrorInvalidHandle);
  os::Handle event = os::CreateUnnamedEvent(true, false);
  EXPECT_EQ(os::RegCloseKey(event), os::kErrorInvalidHandle);
  uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValue(event, "v", nullptr, nullptr, &size), os::kErrorInvalidHandle);
  os::CloseHandle(event);
  EXPECT_EQ(os::RegCloseKey(key), os::kErrorSuccess);
}

TEST(Registry, EachSandboxHasItsOwnDatabase) {
  {
    Sandbox first;
    Key key("K");
    ASSERT_EQ(SetDword(key.get(), "v", 1), 0);
  }
  Sandbox second;
  os::RegHandle key = nullptr;
  EXPECT_EQ(os::RegOpenKey("K", os::kKeyRead, &key), os::kErrorFileNotFound);
  EXPECT_TRUE(second.Exists("var/lib/vigilagent/registry.db"));
}

}  // namespace
