// A local process scribbling over the whole block while clients send requests.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "support/agent_rig.h"
#include "os/os.h"
#include "scenario_sensors.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

TEST(HostileBlockE2eTest, AgentSurvivesRandomBlockContentsAndRebuildsOnRestart) {
  ScenarioTable expected = LoadScenarioTable("kelvo-b720.json");
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-b720.json"), 0) << h.Log();
  uint8_t* b = h.block();

  std::atomic<bool> stop{false};
  std::thread scribbler([&] {
    std::mt19937 random(20240611);
    std::vector<uint8_t> noise(block::kSize);
    while (!stop.load()) {
      for (auto& byte : noise) byte = static_cast<uint8_t>(random());
      std::memcpy(b, noise.data(), noise.size());
      // The values a careless reader would trip on, pinned on every pass.
      block::StoreU16(b, block::kSensorCount, 0xFFFF);
      block::StoreU16(b, block::kRingNextSlot, 9999);
      block::StoreU16(b, block::kRingAppendCount, 0xFFFF);
      std::this_thread::sleep_for(1ms);
    }
  });

  // Clients keep asking with every kind of code, garbage included.
  os::Handle request = os::OpenNamedEvent(kRequestEventName);
  os::Handle reply = os::OpenNamedEvent(kReplyEventName);
  ASSERT_NE(request, nullptr);
  ASSERT_NE(reply, nullptr);
  std::mt19937 codes(7);
  int answered = 0;
  const auto deadline = std::chrono::steady_clock::now() + 4s;
  for (int n = 0; n < 400 && std::chrono::steady_clock::now() < deadline; ++n) {
    int32_t code = n % 2 == 0 ? static_cast<int32_t>(n % 4) : static_cast<int32_t>(codes());
    os::ResetEvent(reply);
    block::StoreS32(b, block::kRequestCode, code);
    os::SetEvent(request);
    if (os::WaitForEvent(reply, 200) == os::WaitResult::kSignaled) ++answered;
  }
  stop.store(true);
  scribbler.join();
  os::CloseHandle(request);
  os::CloseHandle(reply);

  EXPECT_TRUE(h.agent().Running()) << h.agent().Stderr();
  EXPECT_GT(answered, 0);

  // The next start-up builds the whole table again over whatever the block held.
  std::memset(b, 0xA5, block::kSize);
  ASSERT_EQ(h.RestartAgent(), 0) << h.Log();
  ASSERT_EQ(block::LoadU16(b, block::kSensorCount), expected.sensors.size());
  for (std::size_t i = 0; i < expected.sensors.size(); ++i) {
    const uint8_t* r = b + block::SensorRecordOffset(i);
    EXPECT_EQ(r[sensor::kSensorNumber], expected.sensors[i].sensorNumber) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + sensor::kName), 32), expected.sensors[i].name) << i;
  }
  EXPECT_EQ(h.Vigilctl({"sensors", "--kind", "temp"}).status, 0);
}

}  // namespace
}  // namespace vigil::test
