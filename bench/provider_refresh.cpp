// A sensor refresh through hwgate-linux against the bare source reads it stands on: 16 hwmon
// channels in a temporary sysfs tree. The baseline reads each channel straight from hwmon; the
// provider answers one command 0x51 per probe. Compare the two per-iteration times, and read
// the sourceReadsPerSensor counter: it must stay 1 (one source read per sensor, no more).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "contract/driver_protocol.h"
#include "hwmon_sensors.h"
#include "provider.h"
#include "served_table.h"

namespace {

constexpr int kChannels = 16;

struct Machine {
  std::string root;
  std::unique_ptr<hwlinux::HwmonSensors> source;
  std::vector<hwlinux::LiveSensor> sensors;
  hwlinux::ServedTable table;

  Machine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hwgate-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
    std::string dir = root + "/class/hwmon/hwmon0";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/name") << "bench\n";
    for (int i = 1; i <= kChannels; ++i) {
      std::ofstream(dir + "/temp" + std::to_string(i) + "_input") << 40000 + i * 100 << "\n";
      std::ofstream(dir + "/temp" + std::to_string(i) + "_max") << "80000\n";
    }
    source = std::make_unique<hwlinux::HwmonSensors>(hwlinux::SystemFiles(), root);
    source->ListSensors(&sensors);
    hwlinux::TableInput input;
    for (const auto& s : sensors) input.sensors.push_back({s, source.get()});
    std::vector<std::string> notes;
    table.Build(input, &notes);
  }
  ~Machine() { std::filesystem::remove_all(root); }
};

Machine& TheMachine() {
  static Machine machine;
  return machine;
}

void BM_BareHwmonReads(benchmark::State& state) {
  Machine& m = TheMachine();
  for (auto _ : state) {
    for (const auto& sensor : m.sensors) {
      hwlinux::LiveReading reading;
      m.source->ReadSensor(sensor, &reading);
      benchmark::DoNotOptimize(reading);
    }
  }
}
BENCHMARK(BM_BareHwmonReads);

void BM_RefreshThroughProvider(benchmark::State& state) {
  Machine& m = TheMachine();
  hwlinux::Provider provider(m.table, nullptr, {});
  for (auto _ : state) {
    for (const hwlinux::ServedProbe& probe : m.table.Probes()) {
      uint8_t block[vigil::kCommandBlockSize] = {vigil::kCommandReadSensor, 0, static_cast<uint8_t>(probe.handle),
                                                  static_cast<uint8_t>(probe.handle >> 8)};
      uint32_t returned = 0;
      provider.Serve(vigil::kIoctlDeviceCommand, block, 4, sizeof block, &returned);
      benchmark::DoNotOptimize(block);
    }
  }
  hwlinux::ProviderStats stats = provider.Stats();
  state.counters["sourceReadsPerSensor"] = stats.sensorCommands ? double(stats.sourceReads) / stats.sensorCommands : 0;
}
BENCHMARK(BM_RefreshThroughProvider);

}  // namespace

BENCHMARK_MAIN();
