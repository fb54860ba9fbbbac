// The in-process binding: the port's own device calls reach an attached core.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "contract/driver_protocol.h"
#include "agent/platform/driver_channel.h"
#include "core_fixture.h"
#include "in_process.h"
#include "os/os.h"
#include "support/sandbox.h"

namespace {

TEST(InProcess, PortDeviceCallsReachTheAttachedCore) {
  auto core = simtest::NewCore();
  std::string error;
  ASSERT_TRUE(hwsim::LoadScenarioFile(vigil::test::SourcePath("fixtures/scenarios/kelvo-a140.json").c_str(),
                                      core.get(), &error)) << error;
  hwsim::AttachInProcess(core.get());
  os::Handle device = os::OpenDevice(vigil::kDriverPath);
  ASSERT_NE(device, nullptr);

  std::vector<uint8_t> table(vigil::kSmbiosTableSize, 0);
  uint32_t returned = 0;
  ASSERT_TRUE(os::DeviceIoControl(device, vigil::kIoctlReadSmbiosTable, nullptr, 0, table.data(),
                                  uint32_t(table.size()), &returned));
  EXPECT_EQ(returned, vigil::kSmbiosTableSize);
  EXPECT_EQ(0, std::memcmp(table.data(), core->smbios, table.size()));

  vigil::LogReadRecord record = {};
  record.dataLength = vigil::kLogDataCapacity;
  ASSERT_TRUE(os::DeviceIoControl(device, vigil::kIoctlReadEventLog, &record, 8, &record, sizeof record, &returned));
  EXPECT_EQ(record.firstRecordTime, core->firstRecordTime);
  EXPECT_NE(record.dataLength, 0);

  {
    std::lock_guard<std::mutex> lock(hwsim::InProcessLock());
    hwsim::FailNext(*core, 1);
  }
  EXPECT_FALSE(os::DeviceIoControl(device, vigil::kIoctlReadEventLog, &record, 8, &record, sizeof record, &returned));

  os::CloseHandle(device);
  hwsim::DetachInProcess();
  EXPECT_EQ(os::OpenDevice(vigil::kDriverPath), nullptr);
}

}  // namespace
