// The registry database under stress: damaged files, other writers, permissions.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "os/os.h"
#include "support/sandbox.h"

namespace {

using vigil::test::ForkChild;
using vigil::test::Sandbox;
using vigil::test::WaitChild;

constexpr const char* kDb = "var/lib/vigilagent/registry.db";

// Every registry entry point on a database that cannot be used: an error code, never success
// and never a crash.
void ExpectEveryCallFails(long expected) {
  os::RegHandle key = nullptr;
  EXPECT_EQ(os::RegCreateKey("A\\B", os::kKeyAllAccess, &key), expected);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(os::RegOpenKey("A\\B", os::kKeyRead, &key), expected);
  EXPECT_EQ(os::RegDeleteKeyTree("A"), expected);
}

TEST(RegistryStorage, GarbageDatabaseGivesRegistryIoErrors) {
  Sandbox sandbox;
  sandbox.WriteFile(kDb, std::string(8192, '\x5a'));
  ExpectEveryCallFails(os::kErrorRegistryIo);
}

TEST(RegistryStorage, DatabaseDamagedUnderAnOpenKeyFailsItsCalls) {
  Sandbox sandbox;
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegCreateKey("A", os::kKeyAllAccess, &key), 0);
  uint32_t one = 1;
  ASSERT_EQ(os::RegSetValue(key, "v", os::kRegDword, &one, 4), 0);
  // Replaced by garbage, as a failed disk or a stray copy would leave it.
  std::filesystem::remove(sandbox.Path(std::string(kDb) + "-wal"));
  std::filesystem::remove(sandbox.Path(std::string(kDb) + "-shm"));
  std::filesystem::remove(sandbox.Path(kDb));
  sandbox.WriteFile(kDb, std::string(4096, '\x01'));
  uint32_t value = 0, size = sizeof value;
  EXPECT_EQ(os::RegQueryValue(key, "v", nullptr, &value, &size), os::kErrorRegistryIo);
  EXPECT_EQ(os::RegSetValue(key, "v", os::kRegDword, &one, 4), os::kErrorRegistryIo);
  EXPECT_EQ(os::RegCloseKey(key), os::kErrorSuccess);
}

TEST(RegistryStorage, DatabasePathTakenByADirectoryFails) {
  Sandbox sandbox;
  std::filesystem::create_directories(sandbox.Path(kDb));
  os::RegHandle key = nullptr;
  long rc = os::RegCreateKey("A", os::kKeyAllAccess, &key);
  EXPECT_TRUE(rc == os::kErrorRegistryIo || rc == os::kErrorAccessDenied) << rc;
}

TEST(RegistryStorage, ReadOnlyDatabaseStillReadsAndRefusesWrites) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
  Sandbox sandbox;
  {
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey("A", os::kKeyAllAccess, &key), 0);
    uint32_t one = 1;
    ASSERT_EQ(os::RegSetValue(key, "v", os::kRegDword, &one, 4), 0);
    os::RegCloseKey(key);
  }
  std::string dir = sandbox.Path("var/lib/vigilagent");
  chmod(sandbox.Path(kDb).c_str(), 0444);
  chmod(dir.c_str(), 0555);
  {
    Sandbox other;  // move away and back, so the port opens the database afresh
    os::RegHandle elsewhere = nullptr;
    os::RegOpenKey("X", os::kKeyRead, &elsewhere);
  }
  os::RegHandle key = nullptr;
  long rc = os::RegCreateKey("B", os::kKeyAllAccess, &key);
  EXPECT_TRUE(rc == os::kErrorAccessDenied || rc == os::kErrorRegistryIo) << rc;
  ASSERT_EQ(os::RegOpenKey("A", os::kKeyRead, &key), os::kErrorSuccess);
  uint32_t value = 0, size = sizeof value;
  EXPECT_EQ(os::RegQueryValue(key, "v", nullptr, &value, &size), os::kErrorSuccess);
  EXPECT_EQ(value, 1u);
  os::RegCloseKey(key);
  chmod(dir.c_str(), 0755);
}

TEST(RegistryStorage, TwoProcessesWritingAtOnceLoseNothing) {
  Sandbox sandbox;
  {
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey("Shared", os::kKeyAllAccess, &key), 0);
    os::RegCloseKey(key);
  }
  constexpr int kPerWriter = 150;
  auto writer = [](char tag) {
    return [tag] {
      os::RegHandle key = nullptr;
      if (os::RegCreateKey("Shared", os::kKeyAllAccess, &key) != 0) return 1;
      for (int i = 0; i < kPerWriter; ++i) {
        std::string name = std::string(1, tag) + std::to_string(i);
        uint32_t value = static_cast<uint32_t>(i);
        if (os::RegSetValue(key, name.c_str(), os::kRegDword, &value, 4) != 0) return 2;
      }
      return os::RegCloseKey(key) == 0 ? 0 : 3;
    };
  };
  pid_t a = ForkChild(writer('a'));
  pid_t b = ForkChild(writer('b'));
  EXPECT_EQ(WaitChild(a, std::chrono::seconds(60)), 0);
  EXPECT_EQ(WaitChild(b, std::chrono::seconds(60)), 0);
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegOpenKey("Shared", os::kKeyRead, &key), 0);
  int count = 0;
  char name[16];
  for (uint32_t cap = sizeof name;
       os::RegEnumValue(key, static_cast<uint32_t>(count), name, &cap, nullptr, nullptr,
                        nullptr) == 0;
       cap = sizeof name) {
    ++count;
  }
  EXPECT_EQ(count, 2 * kPerWriter);
  os::RegCloseKey(key);
}

}  // namespace
