// The agent's own registry contents on the Win32 registry: its parameters and the event source.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/config/agent_parameters.h"
#include "contract/registry_paths.h"
#include "agent/eventlog/event_reporting.h"
#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil::wintest {
namespace {

const std::string kParameterKey = std::string(kParametersBasePath) + kAgentParameterSubkey;

// A private block stands in for the mapped one; the parameters key starts empty.
class AgentParameters : public ::testing::Test {
 protected:
  void SetUp() override {
    os::RegDeleteKeyTree(kParameterKey.c_str());
    block_.assign(block::kSize, 0);
    previous_ = gBlock;
    gBlock = block_.data();
  }
  void TearDown() override {
    gBlock = previous_;
    os::RegDeleteKeyTree(kParameterKey.c_str());
  }
  static void Put(const char* name, uint32_t type, const void* data, uint32_t size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParameterKey.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static bool Get(const char* name, DWORD* value) {
    DWORD size = sizeof *value;
    DWORD type = 0;
    return RegGetValueA(HKEY_LOCAL_MACHINE, kParameterKey.c_str(), name, RRF_RT_ANY, &type, value,
                        &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == 4;
  }
  uint32_t Shutdown() const { return block::LoadU32(block_.data(), block::kCpuOverTempShutdown); }
  uint32_t ClearLog() const { return block::LoadU32(block_.data(), block::kClearEventLogEnabled); }

  std::vector<uint8_t> block_;
  uint8_t* previous_ = nullptr;
};

struct LoadCase {
  const char* what;
  bool hasShutdown;
  uint32_t shutdown;
  bool hasClear;
  uint32_t clear;
  uint32_t wantShutdown;
  uint32_t wantClear;
};

class LoadCases : public AgentParameters, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadCases, BlockFollowsTheRegistry) {
  const LoadCase& c = GetParam();
  // Stale values that a load must replace.
  block::StoreU32(block_.data(), block::kCpuOverTempShutdown, 0xAAAA);
  block::StoreU32(block_.data(), block::kClearEventLogEnabled, 0xBBBB);
  if (c.hasShutdown) Put(kCpuOverTempShutdownValue, REG_DWORD, &c.shutdown, 4);
  if (c.hasClear) Put(kClearEventLogEnabledValue, REG_DWORD, &c.clear, 4);
  LoadAgentParameters();
  EXPECT_EQ(Shutdown(), c.wantShutdown) << c.what;
  EXPECT_EQ(ClearLog(), c.wantClear) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Registry, LoadCases,
    ::testing::Values(LoadCase{"neither present", false, 0, false, 0, 0, 0},
                      LoadCase{"only ClearEventLog_Enabled", false, 0, true, 1, 0, 0},
                      LoadCase{"only CPUOverTempShoutdown", true, 1, false, 0, 1, 0},
                      LoadCase{"both", true, 5, true, 0xFFFFFFFF, 5, 0xFFFFFFFF}));

TEST_F(AgentParameters, ValueOfTheWrongTypeOrSizeReadsAsZero) {
  const char text[] = "1";
  const uint16_t half = 1;
  const uint32_t one = 1;
  Put(kCpuOverTempShutdownValue, REG_SZ, text, sizeof text);
  Put(kClearEventLogEnabledValue, REG_DWORD, &one, 4);
  LoadAgentParameters();
  EXPECT_EQ(Shutdown(), 0u);
  EXPECT_EQ(ClearLog(), 0u) << "the failed first read closed the key";

  Put(kCpuOverTempShutdownValue, REG_DWORD, &half, sizeof half);
  LoadAgentParameters();
  EXPECT_EQ(Shutdown(), 0u);
}

TEST_F(AgentParameters, SaveWritesBothFromTheBlockAndLoadRestoresThem) {
  block::StoreU32(block_.data(), block::kCpuOverTempShutdown, 1);
  block::StoreU32(block_.data(), block::kClearEventLogEnabled, 7);
  SaveAgentParameters();
  DWORD value = 0;
  ASSERT_TRUE(Get(kCpuOverTempShutdownValue, &value));
  EXPECT_EQ(value, 1u);
  ASSERT_TRUE(Get(kClearEventLogEnabledValue, &value));
  EXPECT_EQ(value, 7u);
  // A client's unsaved change is undone by the next load.
  block::StoreU32(block_.data(), block::kCpuOverTempShutdown, 0);
  LoadAgentParameters();
  EXPECT_EQ(Shutdown(), 1u);
}

// --- Event source registration ------------------------------------------------------------

std::string ReadText(HKEY key, const char* name, DWORD* type) {
  char data[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size) !=
      ERROR_SUCCESS) {
    return "<missing>";
  }
  // The stored bytes include the terminating NUL.
  return size > 0 && data[size - 1] == '\0' ? std::string(data) : "<unterminated>";
}

DWORD ReadDword(HKEY key, const char* name) {
  DWORD value = 0xFFFFFFFF;
  DWORD type = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return 0xFFFFFFFF;
  }
  return value;
}

TEST(EventSource, RegistrationNamesThisExecutableAndIsRewrittenEachStart) {
  os::RegDeleteKeyTree(kEventSourceKey);
  char self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  for (int start = 0; start < 2; ++start) {
    InstallEventSource();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(ReadDword(key, "TypesSupported"), 7u);
    EXPECT_EQ(ReadDword(key, "CategoryCount"), 2u);
    for (const char* name : {"EventMessageFile", "ParameterMessageFile", "CategoryMessageFile"}) {
      DWORD type = 0;
      EXPECT_EQ(ReadText(key, name, &type), self) << name;
      EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ)) << name;
    }
    RegCloseKey(key);
  }
}

}  // namespace
}  // namespace vigil::wintest
