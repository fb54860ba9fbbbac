// hwgate-sim.sys itself, through \\.\HwGate: the scenarios pushed the way hwgate-simctl pushes
// them, every answer compared byte for byte with the Linux simulator's core, hostile calls,
// and two threads at once as the agent makes them. Runs when the driver is installed
// (run_installed_driver_test.sh does that under Wine); skipped otherwise.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "agent/platform/driver_channel.h"
#include "change_plan.h"
#include "control/control_codes.h"
#include "provider/bytes.h"
#include "driver_test_support.h"
#include "os/os.h"

namespace {

using hwsim::Core;
namespace control = hwsim::control;
using drivertest::LogRequest;
using drivertest::SensorCommand;

struct Reply {
  bool ok;
  uint32_t returned;
  std::vector<uint8_t> output;
};

class InstalledDriver : public testing::Test {
 protected:
  void SetUp() override {
    device_ = os::OpenDevice(vigil::kDriverPath);
    if (device_ == nullptr) GTEST_SKIP() << "no driver behind " << vigil::kDriverPath;
  }
  void TearDown() override { os::CloseHandle(device_); }

  Reply Io(uint32_t code, const std::vector<uint8_t>& input, uint32_t outLength) {
    Reply reply{false, 0, std::vector<uint8_t>(outLength, 0xEE)};
    reply.ok = os::DeviceIoControl(device_, code, input.empty() ? nullptr : input.data(),
                                   static_cast<uint32_t>(input.size()),
                                   reply.output.empty() ? nullptr : reply.output.data(), outLength,
                                   &reply.returned);
    reply.output.resize(reply.returned);
    return reply;
  }

  // Loads `name` into the driver as hwgate-simctl does; the driver then holds what `local` holds.
  void Load(const std::string& name, std::unique_ptr<Core>* local) {
    *local = drivertest::ScenarioCore(name);
    ASSERT_TRUE(*local);
    auto before = std::make_unique<Core>();
    Reply snapshot = Io(control::kIoctlSnapshot, {}, sizeof(Core));
    ASSERT_TRUE(snapshot.ok);
    ASSERT_EQ(snapshot.returned, sizeof(Core));
    std::memcpy(before.get(), snapshot.output.data(), sizeof(Core));
    for (const control::Request& request : control::PlanChanges(*before, **local)) {
      ASSERT_TRUE(Io(request.code, request.input, 0).ok) << std::hex << request.code;
    }
  }

  void ExpectSame(Core& reference, uint32_t code, const std::vector<uint8_t>& input, uint32_t outLength) {
    Reply got = Io(code, input, outLength);
    drivertest::Answer want = drivertest::Call(reference, code, input, outLength, 0);
    EXPECT_EQ(got.ok, want.outcome == control::Outcome::kOk);
    EXPECT_EQ(got.returned, want.returned);
    EXPECT_EQ(got.output, want.output);
  }

  os::Handle device_ = nullptr;
};

TEST_F(InstalledDriver, AnswersEveryScenarioAsTheLinuxSimulator) {
  for (const std::string& name : drivertest::ScenarioNames()) {
    SCOPED_TRACE(name);
    std::unique_ptr<Core> reference;
    Load(name, &reference);
    ExpectSame(*reference, vigil::kIoctlReadSmbiosTable, {}, vigil::kSmbiosTableSize);
    for (uint32_t position = 0; position <= reference->logLength; ++position) {
      ExpectSame(*reference, vigil::kIoctlReadEventLog, LogRequest(static_cast<uint16_t>(position), 68, reference->firstRecordTime), 76);
    }
    for (uint32_t i = 0; i < reference->sensorCount; ++i) {
      ExpectSame(*reference, vigil::kIoctlDeviceCommand, SensorCommand(reference->sensors[i].handle), 260);
    }
    ExpectSame(*reference, vigil::kIoctlDeviceCommand, SensorCommand(0x7777), 260);
    ExpectSame(*reference, vigil::kIoctlDeviceCommand, {0x54, 0, 0, 0}, 260);
  }
}

TEST_F(InstalledDriver, HostileCallsAreRefusedAndTheDriverCarriesOn) {
  std::unique_ptr<Core> reference;
  Load("kelvo-b720.json", &reference);
  std::vector<uint8_t> small(16, 0);
  // Not METHOD_BUFFERED: the driver would be handed caller addresses; it answers nothing.
  for (uint32_t method = 1; method <= 3; ++method) {
    EXPECT_FALSE(Io(vigil::kIoctlReadSmbiosTable | method, small, 8192).ok);
  }
  EXPECT_FALSE(Io(vigil::kIoctlReadSmbiosTable, {}, 8191).ok);
  EXPECT_FALSE(Io(vigil::kIoctlReadEventLog, std::vector<uint8_t>(7, 0), 76).ok);
  EXPECT_FALSE(Io(control::kIoctlSnapshot, {}, sizeof(Core) - 1).ok);
  EXPECT_FALSE(Io(control::kIoctlLoadTable, small, 0).ok);
  EXPECT_FALSE(Io(control::kIoctlLoadTable, std::vector<uint8_t>(sizeof(control::TableImage), 0xFF), 0).ok);
  EXPECT_FALSE(Io(control::kIoctlAppendRecord, std::vector<uint8_t>(1000, 0x10), 4).ok);
  EXPECT_FALSE(Io(control::kIoctlMalformed, {9, 0, 0, 0}, 0).ok);
  EXPECT_FALSE(Io(control::PrivateCode(0x9FF), small, 16).ok);
  // None of it changed the scenario.
  Reply snapshot = Io(control::kIoctlSnapshot, {}, sizeof(Core));
  ASSERT_TRUE(snapshot.ok);
  auto now = std::make_unique<Core>();
  std::memcpy(now.get(), snapshot.output.data(), sizeof(Core));
  EXPECT_TRUE(drivertest::SameState(*now, *reference));
  ExpectSame(*reference, vigil::kIoctlReadSmbiosTable, {}, vigil::kSmbiosTableSize);
}

// The agent's service thread reads the log while its request thread sends sensor commands,
// on one handle.
TEST_F(InstalledDriver, TwoThreadsOnOneHandle) {
  std::unique_ptr<Core> reference;
  Load("kelvo-c850.json", &reference);
  Reply expectedLog = Io(vigil::kIoctlReadEventLog, LogRequest(0), 76);
  Reply expectedSensor = Io(vigil::kIoctlDeviceCommand, SensorCommand(reference->sensors[0].handle), 260);
  ASSERT_TRUE(expectedLog.ok && expectedSensor.ok);
  std::atomic<int> mismatches{0};
  constexpr int kRounds = 300;
  std::thread logReader([&] {
    for (int i = 0; i < kRounds; ++i) {
      Reply r = Io(vigil::kIoctlReadEventLog, LogRequest(0), 76);
      if (!r.ok || r.output != expectedLog.output) ++mismatches;
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    Reply r = Io(vigil::kIoctlDeviceCommand, SensorCommand(reference->sensors[0].handle), 260);
    if (!r.ok || r.output != expectedSensor.output) ++mismatches;
  }
  logReader.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace

#endif  // _WIN32
