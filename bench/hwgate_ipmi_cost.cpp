// What the provider's BMC sources cost, counted in BMC exchanges and timed against bare
// exchanges with the same in-memory BMC in the same run:
//   - a sensor refresh: one Get Sensor Reading per sensor (the SDR repository is cached);
//   - an idle BIOS log poll: one Get SEL Info, however long the SEL;
//   - a walk of a 200-record SDR repository on a BMC that answers up to 272 bytes: exchanges
//     per record (target at most 1.2).
//
//   hwgate_ipmi_cost [benchmark flags]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "ipmi/ipmi_codes.h"
#include "ipmi/record_reader.h"
#include "ipmi/scripted_bmc.h"
#include "ipmi/sdr_repository.h"
#include "ipmi/sdr_sensor_source.h"
#include "ipmi/sel_log_source.h"

namespace {

using namespace hwlinux;
using Clock = std::chrono::steady_clock;

constexpr int kSensors = 24;
constexpr int kSelEntries = 600;
constexpr int kSdrRecords = 200;

struct NoHandles : HandleLookup {
  int ProbeHandle(const std::string&, uint32_t) const override { return -1; }
  int MemoryDeviceHandle(uint32_t) const override { return -1; }
};

struct Measured {
  double seconds = 0;
  double operations = 0;
  double exchanges = 0;
  double PerOp() const { return operations > 0 ? seconds / operations : 0; }
};
Measured gBareReading, gRefresh, gBareSelInfo, gIdlePoll, gSdrWalk;

std::vector<uint8_t> FullTemperatureRecord(uint8_t number) {
  std::vector<uint8_t> r(47, 0);
  r[2] = 0x51;
  r[3] = ipmi::kSdrTypeFull;
  r[5] = ipmi::kBmcSlaveAddress;
  r[7] = number;
  r[12] = ipmi::kSensorTypeTemperature;
  r[13] = ipmi::kEventReadingThreshold;
  r[21] = 1;   // degrees C
  r[24] = 1;   // M
  r.push_back(0xC4);
  for (char c : {'T', 'e', 'm', 'p'}) r.push_back(uint8_t(c));
  r[4] = uint8_t(r.size() - 5);
  return r;
}

ipmi::ScriptedBmc& Bmc() {
  static ipmi::ScriptedBmc* bmc = [] {
    auto* b = new ipmi::ScriptedBmc;
    for (int n = 0; n < kSensors; ++n) {
      b->AddSdr(FullTemperatureRecord(uint8_t(n + 1)), 100);
      b->readings[uint8_t(n + 1)] = {uint8_t(40 + n), 0x40, 0x00};
    }
    for (int i = 0; i < kSelEntries; ++i) {
      ipmi::ScriptedBmc::SelRecord r{};
      r[2] = ipmi::kSelRecordTypeSystem;
      r[6] = 0x65;  // a calendar time stamp
      r[10] = ipmi::kSensorTypeSystemBoot;
      r[12] = 0x6F;
      b->AddSel(r, 1700000000u + i);
    }
    return b;
  }();
  return *bmc;
}

void Record(Measured* m, Clock::duration elapsed, double operations, double exchanges) {
  m->seconds += std::chrono::duration<double>(elapsed).count();
  m->operations += operations;
  m->exchanges += exchanges;
}

// One request sent straight to the BMC, again and again: the baseline.
void Bare(benchmark::State& state, uint8_t netFn, uint8_t cmd, Measured* measured) {
  ipmi::ScriptedBmc& bmc = Bmc();
  const uint8_t number = 1;
  ipmi::BmcRequest request;
  request.netFn = netFn;
  request.cmd = cmd;
  request.data = &number;
  request.length = netFn == ipmi::kNetFnSensorEvent ? 1 : 0;
  ipmi::BmcResponse response;
  const uint32_t before = bmc.exchanges;
  const auto start = Clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(bmc.Exchange(request, &response));
  Record(measured, Clock::now() - start, double(state.iterations()), bmc.exchanges - before);
}

void BareReading(benchmark::State& state) {
  Bare(state, ipmi::kNetFnSensorEvent, ipmi::kCmdGetSensorReading, &gBareReading);
}

void BareSelInfo(benchmark::State& state) {
  Bare(state, ipmi::kNetFnStorage, ipmi::kCmdGetSelInfo, &gBareSelInfo);
}

void SensorRefresh(benchmark::State& state) {
  ipmi::ScriptedBmc& bmc = Bmc();
  ipmi::SdrSensorSource source(bmc);
  std::vector<LiveSensor> sensors;
  source.ListSensors(&sensors);
  LiveReading reading;
  const uint32_t before = bmc.exchanges;
  const auto start = Clock::now();
  for (auto _ : state) {
    for (const LiveSensor& sensor : sensors) benchmark::DoNotOptimize(source.ReadSensor(sensor, &reading));
  }
  Record(&gRefresh, Clock::now() - start, double(state.iterations()) * double(sensors.size()),
         bmc.exchanges - before);
}

void IdleLogPoll(benchmark::State& state) {
  ipmi::ScriptedBmc& bmc = Bmc();
  ipmi::SelLogSource source(bmc);
  NoHandles handles;
  LogSnapshot snapshot;
  source.Refresh(handles, &snapshot);  // the first walk is not what is measured
  const uint32_t before = bmc.exchanges;
  const auto start = Clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(source.Refresh(handles, &snapshot));
  Record(&gIdlePoll, Clock::now() - start, double(state.iterations()), bmc.exchanges - before);
}

// The repository is read whole at start and again whenever it changes.
void SdrWalk(benchmark::State& state) {
  static ipmi::ScriptedBmc* bmc = [] {
    auto* b = new ipmi::ScriptedBmc;
    b->maxRecordAnswer = ipmi::BmcResponse::kMaxData;
    for (int n = 0; n < kSdrRecords; ++n) b->AddSdr(FullTemperatureRecord(uint8_t(n + 1)), 100);
    return b;
  }();
  std::vector<std::vector<uint8_t>> records;
  std::string problem;
  const uint32_t before = bmc->exchanges;
  const auto start = Clock::now();
  for (auto _ : state) {
    ipmi::RecordReader reader(*bmc, ipmi::kCmdReserveSdrRepository, ipmi::kCmdGetSdr);
    benchmark::DoNotOptimize(ipmi::ReadSdrRepository(reader, kSdrRecords, &records, &problem));
  }
  Record(&gSdrWalk, Clock::now() - start, double(state.iterations()) * double(records.size()),
         bmc->exchanges - before);
}

BENCHMARK(BareReading);
BENCHMARK(SensorRefresh);
BENCHMARK(BareSelInfo);
BENCHMARK(IdleLogPoll);
BENCHMARK(SdrWalk);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double perSensor = gRefresh.operations > 0 ? gRefresh.exchanges / gRefresh.operations : 0;
  const double perPoll = gIdlePoll.operations > 0 ? gIdlePoll.exchanges / gIdlePoll.operations : 0;
  std::printf("sensor refresh: %.2f BMC exchanges per sensor (target 1), time per sensor / bare "
              "Get Sensor Reading: %.2f\n",
              perSensor, gRefresh.PerOp() / gBareReading.PerOp());
  std::printf("idle log poll over %d SEL entries: %.2f BMC exchanges (target 1), time / bare Get "
              "SEL Info: %.2f\n",
              kSelEntries, perPoll, gIdlePoll.PerOp() / gBareSelInfo.PerOp());
  const double perRecord = gSdrWalk.operations > 0 ? gSdrWalk.exchanges / gSdrWalk.operations : 0;
  std::printf("SDR walk over %d records: %.2f BMC exchanges per record (target at most 1.2)\n", kSdrRecords,
              perRecord);
  return perSensor <= 1.0 && perPoll <= 1.0 && perRecord <= 1.2 ? 0 : 1;
}
