// What the Prometheus metrics cost, each against a baseline measured in the same run:
//   - formatting a full block (128 sensors, 600 history entries) vs copying the block;
//   - `vigilctl metrics --no-refresh` vs `vigilctl status` as whole processes (CPU time), so
//     the difference is the metrics work beyond process start;
//   - a scrape of serve-metrics (refresh + format + HTTP) vs the bare refresh round trip;
//   - serve-metrics' resident set after 100 and after 10,000 scrapes.
//
//   metrics [benchmark flags]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent_request.h"
#include "agent/eventlog/decoded_event.h"
#include "metrics_scrape.h"
#include "metrics_text.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_rig.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace block = vigil::block;
namespace sensor = vigil::sensor;

std::vector<uint8_t> FullBlock() {
  std::vector<uint8_t> b(block::kSize, 0);
  const uint8_t types[] = {sensor::kTypeTemperature, sensor::kTypeVoltage, sensor::kTypeFan};
  for (std::size_t i = 0; i < block::kMaxSensors; ++i) {
    uint8_t* r = b.data() + block::SensorRecordOffset(i);
    r[sensor::kOwnerId] = sensor::kOwnerDriverRead;
    r[sensor::kSensorType] = types[i % 3];
    std::snprintf(reinterpret_cast<char*>(r + sensor::kName), sensor::kNameSize, "Probe \"%zu\" \\ %s", i,
                  i % 7 == 0 ? "\xE9t\xE9" : "ok");
    block::StoreF32(r, sensor::kReading, 20.0f + float(i) * 0.1f);
    block::StoreU16(r, sensor::kState, uint16_t(i % 6));
  }
  block::StoreU16(b.data(), block::kSensorCount, uint16_t(block::kMaxSensors));
  for (std::size_t slot = 0; slot < block::kRingSlots; ++slot) {
    b[block::RingEntryOffset(slot) + offsetof(vigil::HistoryEntry, sensorType)] = uint8_t(slot % 20);
  }
  block::StoreU16(b.data(), block::kRingNextSlot, 600);
  block::StoreU16(b.data(), block::kRingAppendCount, 600);
  block::StoreU8(b.data(), block::kStartupComplete, 1);
  return b;
}

void FormatFullBlock(benchmark::State& state) {
  const std::vector<uint8_t> b = FullBlock();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = vigilctl::FormatMetrics({b.data(), {"Kelvo B720", "Kelvo", "Kelvo B720"}, vigilctl::RefreshOutcome::kDone});
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.counters["bytes"] = double(bytes);
}

void CopyFullBlock(benchmark::State& state) {
  const std::vector<uint8_t> b = FullBlock();
  std::vector<uint8_t> copy(b.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), b.data(), b.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(FormatFullBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(CopyFullBlock)->Unit(benchmark::kMicrosecond);

// CPU seconds (user + system) of `runs` runs of vigilctl with `args`.
double ChildCpuSeconds(const std::vector<std::string>& args, int runs) {
  auto cpu = [] {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  };
  const double before = cpu();
  for (int i = 0; i < runs; ++i) {
    vigil::test::Run(vigil::test::BinaryPath("vigilctl"), args);
  }
  return cpu() - before;
}

long RssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void RunRigMeasurements() {
  vigil::test::AgentRig rig("vigil-bench-");
  if (rig.Start("kelvo-b720.json") != 0) {
    std::fprintf(stderr, "metrics: could not start the simulator and the agent under %s\n%s\n",
                 rig.sandbox().root().c_str(), rig.Log().c_str());
    return;
  }
  // Whole processes: the same start, attach and exit; metrics adds the model read and the text.
  constexpr int kRuns = 200;
  const double metricsCpu = ChildCpuSeconds({"metrics", "--no-refresh"}, kRuns);
  const double statusCpu = ChildCpuSeconds({"status"}, kRuns);
  std::printf("\nprocess CPU per run: metrics --no-refresh %.0f us, status %.0f us, difference %.0f us (target < 1000)\n",
              metricsCpu / kRuns * 1e6, statusCpu / kRuns * 1e6, (metricsCpu - statusCpu) / kRuns * 1e6);
  // The same work in-process, free of process-start noise: attach the block, read the model
  // from the driver, format; a fresh scraper each time, as each run of the command is.
  constexpr int kScrapes = 2000;
  const std::clock_t before = std::clock();
  for (int i = 0; i < kScrapes; ++i) {
    vigilctl::MetricsScraper scraper(false, 0);
    int rc = 0;
    benchmark::DoNotOptimize(scraper.Scrape(&rc));
  }
  std::printf("in-process metrics --no-refresh (attach, model read, format): %.0f us CPU each (target < 1000)\n",
              double(std::clock() - before) / CLOCKS_PER_SEC * 1e6 / kScrapes);

  const int port = vigil::test::FreeLoopbackPort();
  vigil::test::Process server(vigil::test::BinaryPath("vigilctl"), {"serve-metrics", "--listen", "127.0.0.1:" + std::to_string(port),
                                                                   "--refresh-interval", "0"});
  const bool up = vigil::test::WaitUntil(
      [&] {
        auto r = httplib::Client("127.0.0.1", port).Get("/metrics");
        return r && r->status == 200;
      },
      std::chrono::seconds(10));
  if (!up) {
    std::fprintf(stderr, "metrics: serve-metrics did not come up\n");
  } else {
    uint8_t* b = rig.block();
    std::vector<double> refreshUs, scrapeUs;
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    for (int i = 0; i < 500; ++i) {
      auto start = Clock::now();
      vigilctl::SendRequest(b, vigil::kRequestRefreshAll, true);
      refreshUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      start = Clock::now();
      auto r = client.Get("/metrics");
      scrapeUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      if (!r || r->status != 200) break;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::printf("scrape with refresh: median %.0f us; refresh alone: median %.0f us; difference %.0f us (target < 1000)\n",
                Median(scrapeUs), Median(refreshUs), Median(scrapeUs) - Median(refreshUs));

    const double serverCpuBefore = vigil::test::ProcessCpuSeconds(server.pid());
    long rss100 = 0;
    for (int i = 1; i <= 10000; ++i) {
      httplib::Client each("127.0.0.1", port);  // new connections too: the pool must not grow
      auto r = (i % 2 == 0 ? client : each).Get("/metrics");
      if (!r) break;
      if (i == 100) rss100 = RssKiB(server.pid());
    }
    const long rss10000 = RssKiB(server.pid());
    std::printf("serve-metrics CPU per scrape with refresh, over 10,000: %.0f us (the agent's refresh is in the agent)\n",
                (vigil::test::ProcessCpuSeconds(server.pid()) - serverCpuBefore) / 10000 * 1e6);
    std::printf("serve-metrics RSS: %ld KiB after 100 scrapes, %ld KiB after 10,000 (target < 8192, no growth)\n",
                rss100, rss10000);
  }
  server.Stop(std::chrono::seconds(5));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RunRigMeasurements();
  return 0;
}
