// The in-memory port keeps the Win32 rules the agent's unit tests lean on, and its faults do
// what they say.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "os/os.h"
#include "support/memory_machine.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

class MemoryPortTest : public ::testing::Test {
 protected:
  static long Set(const char* path, const char* name, uint32_t value) {
    os::RegHandle key = nullptr;
    long rc = os::RegCreateKey(path, os::kKeyAllAccess, &key);
    if (rc == os::kErrorSuccess) rc = os::RegSetValue(key, name, os::kRegDword, &value, sizeof value);
    os::RegCloseKey(key);
    return rc;
  }
  static long Get(const char* path, const char* name, uint32_t* value) {
    os::RegHandle key = nullptr;
    long rc = os::RegOpenKey(path, os::kKeyRead, &key);
    uint32_t size = sizeof *value;
    if (rc == os::kErrorSuccess) rc = os::RegQueryValue(key, name, nullptr, value, &size);
    os::RegCloseKey(key);
    return rc;
  }
  MemoryMachine machine_;
};

TEST_F(MemoryPortTest, RegistryNamesIgnoreCaseAndKeepCreationOrder) {
  ASSERT_EQ(Set("A\\B", "Zeta", 1), os::kErrorSuccess);
  ASSERT_EQ(Set("a\\b", "alpha", 2), os::kErrorSuccess);
  ASSERT_EQ(Set("A\\B", "ZETA", 3), os::kErrorSuccess);  // rewritten in place
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegOpenKey("a\\B", os::kKeyRead, &key), os::kErrorSuccess);
  char name[8];
  uint32_t cap = sizeof name;
  uint32_t value = 0, size = sizeof value;
  ASSERT_EQ(os::RegEnumValue(key, 0, name, &cap, nullptr, &value, &size), os::kErrorSuccess);
  EXPECT_STREQ(name, "Zeta");
  EXPECT_EQ(value, 3u);
  cap = 5;  // "alpha" and its terminator need 6
  EXPECT_EQ(os::RegEnumValue(key, 1, name, &cap, nullptr, nullptr, nullptr), os::kErrorMoreData);
  cap = sizeof name;
  EXPECT_EQ(os::RegEnumValue(key, 2, name, &cap, nullptr, nullptr, nullptr), os::kErrorNoMoreItems);
  EXPECT_EQ(os::RegSetValue(key, "x", os::kRegDword, &value, 4), os::kErrorAccessDenied);
  ASSERT_EQ(os::RegDeleteKeyTree("A"), os::kErrorSuccess);
  EXPECT_EQ(os::RegQueryValue(key, "alpha", nullptr, nullptr, nullptr), 1018);  // key deleted
  os::RegCloseKey(key);
  EXPECT_EQ(os::RegCloseKey(key), os::kErrorInvalidHandle);
  EXPECT_EQ(os::RegCreateKey(std::string(256, 'k').c_str(), os::kKeyAllAccess, &key), os::kErrorInvalidParameter);
}

TEST_F(MemoryPortTest, AtomicBatchUndoesEverythingOnFailure) {
  ASSERT_EQ(Set("K", "kept", 1), os::kErrorSuccess);
  auto body = [](void*) -> long {
    Set("K", "kept", 2);
    Set("K\\New", "v", 3);
    return os::kErrorRegistryIo;
  };
  EXPECT_EQ(os::RegApplyAtomically(body, nullptr), os::kErrorRegistryIo);
  uint32_t value = 0;
  EXPECT_EQ(Get("K", "kept", &value), os::kErrorSuccess);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(Get("K\\New", "v", &value), os::kErrorFileNotFound);
}

TEST_F(MemoryPortTest, RegistryFaults) {
  os::memory::FailRegistryWrites(1);
  EXPECT_EQ(Set("K", "a", 1), os::kErrorRegistryIo);  // the key's creation was the one write
  EXPECT_EQ(Set("K", "a", 1), os::kErrorSuccess);
  os::memory::FailRegistryWritesOf("B");
  EXPECT_EQ(Set("K", "b", 1), os::kErrorRegistryIo);
  EXPECT_EQ(Set("K", "c", 1), os::kErrorSuccess);
  os::memory::BreakRegistry();
  uint32_t value = 0;
  EXPECT_EQ(Get("K", "a", &value), os::kErrorRegistryIo);
}

TEST_F(MemoryPortTest, NamedObjectsShareOneNamespaceAndLiveWhileHeld) {
  os::Handle event = os::CreateNamedEvent("N", true, false);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(os::CreateNamedMapping("N", 16), nullptr);
  os::Handle mapping = os::CreateNamedMapping("M", 16);
  auto* view = static_cast<uint8_t*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  view[15] = 7;
  os::CloseHandle(mapping);  // the view still holds it
  bool tooSmall = false;
  EXPECT_EQ(os::OpenNamedMapping("M", 17, &tooSmall), nullptr);
  EXPECT_TRUE(tooSmall);
  EXPECT_EQ(os::memory::MappingBytes("M")->at(15), 7);
  os::CloseHandle(event);
  EXPECT_EQ(os::OpenNamedEvent("N"), nullptr);  // gone with its last handle
  os::memory::TakeName("T");
  EXPECT_EQ(os::CreateNamedEvent("T", true, false), nullptr);
}

TEST_F(MemoryPortTest, AutoResetLetsOneWaiterThroughAndWaitsTimeOut) {
  os::Handle event = os::CreateUnnamedEvent(false, false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(os::WaitForEvent(event, 50), os::WaitResult::kTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  std::thread setter([event] {
    std::this_thread::sleep_for(20ms);
    os::SetEvent(event);
  });
  EXPECT_EQ(os::WaitForEvent(event, os::kInfinite), os::WaitResult::kSignaled);
  setter.join();
  EXPECT_EQ(os::WaitForEvent(event, 0), os::WaitResult::kTimeout);
  os::CloseHandle(event);
  EXPECT_EQ(os::WaitForEvent(event, 0), os::WaitResult::kFailed);
}

bool Echo(void*, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* returned) {
  *returned = 0;
  return true;
}

TEST_F(MemoryPortTest, DroppedDeviceFailsAfterItsCallsAndCannotBeOpened) {
  os::RegisterLocalDevice("\\\\.\\Probe", Echo, nullptr);
  os::Handle device = os::OpenDevice("\\\\.\\PROBE");
  ASSERT_NE(device, nullptr);
  os::memory::DropDevice("\\\\.\\probe", 2);
  EXPECT_TRUE(os::DeviceIoControl(device, 1, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_TRUE(os::DeviceIoControl(device, 1, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_FALSE(os::DeviceIoControl(device, 1, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_EQ(os::OpenDevice("\\\\.\\Probe"), nullptr);
  os::CloseHandle(device);
  os::RegisterLocalDevice("\\\\.\\Probe", nullptr, nullptr);
}

TEST_F(MemoryPortTest, FilesOnDriveCIgnoreCaseAndResetEmptiesTheDrive) {
  ASSERT_TRUE(os::memory::PutFile("c:\\Logs\\A.csv", "1,2\n"));
  std::FILE* in = os::OpenFile("C:/logs/a.CSV", "r");
  ASSERT_NE(in, nullptr);
  char line[8] = {};
  EXPECT_NE(std::fgets(line, sizeof line, in), nullptr);
  std::fclose(in);
  EXPECT_STREQ(line, "1,2\n");
  EXPECT_EQ(os::OpenFile("d:\\a.csv", "r"), nullptr);
  EXPECT_EQ(os::OpenFile("c:\\..\\a.csv", "w"), nullptr);
  os::memory::Reset();
  EXPECT_FALSE(os::memory::FileContents("c:\\logs\\a.csv").has_value());
}

}  // namespace
}  // namespace vigil::test
