// Round trip of a full sensor refresh through the real agent and simulator processes, against
// the round trip of one bare device command, for the B720 scenario.
//
//   sensor_refresh [benchmark flags]
//
// Prints median and p99 of each and the overhead ratio refresh / (sensors x bare command).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "os/os.h"
#include "agent/platform/driver_channel.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_rig.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace block = vigil::block;

constexpr int kSamples = 2000;
constexpr uint32_t kResignalMs = 50;
constexpr int kGapUs = 500;  // between requests, outside the measured time

struct Rig {
  std::unique_ptr<vigil::test::AgentRig> processes;
  uint8_t* block = nullptr;
  os::Handle request = nullptr;
  os::Handle reply = nullptr;
  os::Handle device = nullptr;
  uint16_t someHandle = 0;
  int readable = 0;
};
Rig gRig;
std::vector<double> gRefreshUs, gBareUs;
int gLostRequests = 0;

bool SetUp() {
  gRig.processes = std::make_unique<vigil::test::AgentRig>("vigil-bench-");
  if (gRig.processes->Start("kelvo-b720.json") != 0) return false;
  gRig.block = gRig.processes->block();
  gRig.request = os::OpenNamedEvent(vigil::kRequestEventName);
  gRig.reply = os::OpenNamedEvent(vigil::kReplyEventName);
  gRig.device = os::OpenDevice(vigil::kDriverPath);
  // Sensors a full refresh reads, and the handle of one of them for the bare command: the
  // handles themselves stay in the agent, so ask the simulator for the first voltage probe.
  std::size_t count = std::min<std::size_t>(block::LoadU16(gRig.block, block::kSensorCount), block::kMaxSensors);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* r = gRig.block + block::SensorRecordOffset(i);
    uint8_t type = r[vigil::sensor::kSensorType];
    if (r[vigil::sensor::kOwnerId] == vigil::sensor::kOwnerDriverRead &&
        (type == vigil::sensor::kTypeTemperature || type == vigil::sensor::kTypeVoltage || type == vigil::sensor::kTypeFan)) {
      ++gRig.readable;
    }
  }
  gRig.someHandle = 0x0040;  // the B720's first voltage probe
  return gRig.request != nullptr && gRig.reply != nullptr && gRig.device != nullptr && gRig.readable > 0;
}

void TearDown() {
  os::CloseHandle(gRig.device);
  os::CloseHandle(gRig.request);
  os::CloseHandle(gRig.reply);
  gRig.processes.reset();
}

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void FullRefresh(benchmark::State& state) {
  for (auto _ : state) {
    os::ResetEvent(gRig.reply);
    block::StoreS32(gRig.block, block::kRequestCode, vigil::kRequestRefreshAll);
    auto start = Clock::now();
    os::SetEvent(gRig.request);
    // The agent sets the reply before it resets the request event for its next wait, so a
    // request sent in that window is lost: signal again, and count it.
    int tries = 0;
    while (os::WaitForEvent(gRig.reply, kResignalMs) != os::WaitResult::kSignaled && ++tries < 100) {
      ++gLostRequests;
      os::SetEvent(gRig.request);
    }
    auto elapsed = Clock::now() - start;
    if (tries >= 100) {
      state.SkipWithError("agent did not answer");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    gRefreshUs.push_back(Micros(elapsed));
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::microseconds(kGapUs));  // the agent back to its wait
    state.ResumeTiming();
  }
}

void BareCommand(benchmark::State& state) {
  uint8_t command[vigil::kCommandBlockSize] = {};
  for (auto _ : state) {
    block::StoreU16(command, vigil::kCommandCodeOffset, vigil::kCommandReadSensor);
    block::StoreU16(command, vigil::kCommandArgumentOffset, gRig.someHandle);
    uint32_t returned = 0;
    auto start = Clock::now();
    bool ok = os::DeviceIoControl(gRig.device, vigil::kIoctlDeviceCommand, command, sizeof command, command,
                                  sizeof command, &returned);
    auto elapsed = Clock::now() - start;
    if (!ok) {
      state.SkipWithError("device command failed");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    gBareUs.push_back(Micros(elapsed));
  }
}

BENCHMARK(FullRefresh)->Iterations(kSamples)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BareCommand)->Iterations(kSamples)->UseManualTime()->Unit(benchmark::kMicrosecond);

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!SetUp()) {
    std::fprintf(stderr, "sensor_refresh: could not start the simulator and the agent under %s\n%s\n",
                 gRig.processes->sandbox().root().c_str(), gRig.processes->Log().c_str());
    TearDown();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double refresh50 = Percentile(gRefreshUs, 0.5), refresh99 = Percentile(gRefreshUs, 0.99);
  const double bare50 = Percentile(gBareUs, 0.5), bare99 = Percentile(gBareUs, 0.99);
  std::printf("\nfull refresh (B720, %d sensors read): median %.1f us, p99 %.1f us over %zu requests\n",
              gRig.readable, refresh50, refresh99, gRefreshUs.size());
  std::printf("bare device command:                  median %.1f us, p99 %.1f us over %zu commands\n", bare50,
              bare99, gBareUs.size());
  std::printf("requests wiped out before the agent saw them (sent again after %u ms): %d\n", kResignalMs,
              gLostRequests);
  if (bare50 > 0) {
    std::printf("ratio refresh / (sensors x bare command): median %.2f, p99 %.2f (target < 1.5)\n",
                refresh50 / (gRig.readable * bare50), refresh99 / (gRig.readable * bare99));
  }
  TearDown();
  return 0;
}
