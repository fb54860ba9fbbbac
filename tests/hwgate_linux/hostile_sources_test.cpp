// Sources that lie, hang or were tampered with: values the served format cannot carry, a
// sensor read that never returns, FIFOs and absurd lengths in the sysfs tree.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "contract/driver_protocol.h"
#include "provider.h"
#include "smbios_bytes.h"
#include "startup.h"
#include "fixture_tree.h"

namespace hwlinux::testing {
namespace {

class Sensors : public SensorSource {
 public:
  int ListSensors(std::vector<LiveSensor>* out) override { *out = sensors; return 0; }
  int ReadSensor(const LiveSensor& sensor, LiveReading* out) override {
    std::unique_lock<std::mutex> lock(mutex);
    released.wait(lock, [&] { return !stuck; });
    *out = readings.at(sensor.key);
    return 0;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    stuck = false;
    released.notify_all();
  }
  std::vector<LiveSensor> sensors;
  std::vector<LiveReading> readings;
  bool stuck = false;
  std::mutex mutex;
  std::condition_variable released;
};

struct Served {
  uint8_t status;  // status bits 7-5 of the served structure
  uint16_t raw;
};

// Asks for the probe at `handle` as the agent does. Probes are temperature/voltage (type 28
// layout) unless `fan`.
Served Ask(Provider& provider, uint16_t handle, bool fan = false) {
  uint8_t block[vigil::kCommandBlockSize] = {vigil::kCommandReadSensor, 0, uint8_t(handle), uint8_t(handle >> 8)};
  uint32_t returned = 0;
  EXPECT_TRUE(provider.Serve(vigil::kIoctlDeviceCommand, block, 4, sizeof block, &returned));
  const uint32_t statusAt = fan ? 10 : 9, rawAt = fan ? 16 : 24;
  return {uint8_t(block[statusAt] & 0xE0), uint16_t(block[rawAt] | block[rawAt + 1] << 8)};
}

constexpr uint8_t kOk = 0x60, kCritical = 0xA0, kUnknown = 0x40;
constexpr uint16_t kNoReading = 0x8000;

TEST(HostileSources, ValuesTheFormatCannotCarryAreNoReading) {
  Sensors source;
  struct Case {
    SensorKind kind;
    LiveReading reading;
    Served expected;
  };
  const Case cases[] = {
      {SensorKind::kTemperature, {true, 452, Severity::kOk}, {kOk, 452}},
      {SensorKind::kTemperature, {true, 10000000, Severity::kOk}, {kUnknown, kNoReading}},  // 1e9 m°C
      {SensorKind::kTemperature, {true, -20, Severity::kOk}, {kUnknown, kNoReading}},  // -2.0 °C, not 0.0
      {SensorKind::kVoltage, {true, -1000, Severity::kCritical}, {kCritical, 0xFC17}},  // -1 V
      {SensorKind::kVoltage, {true, 48000, Severity::kOk}, {kUnknown, kNoReading}},  // a 48 V feed
      {SensorKind::kFan, {true, 1650, Severity::kOk}, {kOk, 1650}},
      {SensorKind::kFan, {true, -500, Severity::kOk}, {kUnknown, kNoReading}},
  };
  TableInput input;
  for (uint32_t i = 0; i < std::size(cases); ++i) {
    source.sensors.push_back({cases[i].kind, "s" + std::to_string(i), "test", i});
    source.readings.push_back(cases[i].reading);
    input.sensors.push_back({source.sensors.back(), &source});
  }
  ServedTable table;
  std::vector<std::string> notes;
  table.Build(input, &notes);
  Provider provider(table, nullptr, LogSnapshot());
  ASSERT_EQ(table.Probes().size(), std::size(cases));
  for (const ServedProbe& probe : table.Probes()) {
    const Case& c = cases[size_t(probe.sensor)];
    const Served served = Ask(provider, probe.handle, c.kind == SensorKind::kFan);
    EXPECT_EQ(served.raw, c.expected.raw) << "sensor " << probe.sensor;
    EXPECT_EQ(served.status, c.expected.status) << "sensor " << probe.sensor;
  }
}

TEST(HostileSources, AHungSensorCostsOnlyItsOwnAnswers) {
  Sensors hung, healthy;
  hung.sensors = {{SensorKind::kTemperature, "hung", "a", 0}};
  hung.readings = {{true, 300, Severity::kOk}};
  healthy.sensors = {{SensorKind::kTemperature, "healthy", "b", 0}};
  healthy.readings = {{true, 400, Severity::kOk}};
  TableInput input;
  input.sensors = {{hung.sensors[0], &hung}, {healthy.sensors[0], &healthy}};
  ServedTable table;
  std::vector<std::string> notes;
  table.Build(input, &notes);
  ASSERT_EQ(table.Probes().size(), 2u);
  const uint16_t hungHandle = table.Probes()[size_t(table.Probes()[0].sensor == 0 ? 0 : 1)].handle;
  const uint16_t healthyHandle = table.Probes()[size_t(table.Probes()[0].sensor == 0 ? 1 : 0)].handle;
  hung.stuck = true;
  {
    Provider provider(table, nullptr, LogSnapshot(), std::chrono::milliseconds(500));
    EXPECT_EQ(Ask(provider, hungHandle).raw, kNoReading);
    EXPECT_EQ(Ask(provider, hungHandle).raw, kNoReading);  // still stuck: bounded again
    EXPECT_EQ(Ask(provider, healthyHandle).raw, 400);
    std::vector<uint8_t> buffer(vigil::kSmbiosTableSize);
    uint32_t returned = 0;
    EXPECT_TRUE(provider.Serve(vigil::kIoctlReadSmbiosTable, buffer.data(), 0, uint32_t(buffer.size()), &returned));
    EXPECT_EQ(provider.Stats().slowReads, 2u);
    hung.Release();
    EXPECT_EQ(Ask(provider, hungHandle).raw, 300);
  }
}

// A tree as an attacker (or a broken driver) could leave it: nothing may block the start or
// make it read without end.
TEST(HostileSources, FifosAndAbsurdLengthsNeverStallTheStart) {
  FixtureTree tree;
  tree.Write("firmware/dmi/tables/smbios_entry_point", EntryPoint32(2, 8, 0x100));
  tree.Fifo("firmware/dmi/tables/DMI");
  const std::string log = "firmware/dmi/entries/15-0/system_event_log/";
  tree.Write(log + "access_method", "3\n");
  tree.Write(log + "status", "1\n");
  tree.Write(log + "area_length", "2147483664\n");
  tree.Write(log + "data_start_offset", "16\n");
  tree.Link(log + "raw_event_log", "/dev/zero");
  const std::string chip = "devices/platform/it87.552/hwmon/hwmon1/";
  tree.Write(chip + "name", "it87\n");
  tree.Write(chip + "temp1_input", "41000\n");
  tree.Fifo(chip + "temp1_label");
  tree.Fifo(chip + "temp2_input");
  tree.Write(chip + "temp3_input", "-28000\n");
  tree.Write(chip + "temp3_label", "P1 Therm Margin\n");
  tree.Link("class/hwmon/hwmon1", "../../" + chip);
  Options options;
  options.sysfsRoot = tree.Root();
  options.devRoot = tree.Root() + "/dev";
  Startup startup;
  std::string error;
  ASSERT_EQ(PrepareStartup(options, SystemFiles(), &startup, &error), 0) << error;
  std::string lines;
  for (const std::string& line : startup.lines) lines += line + "\n";
  EXPECT_NE(lines.find("tables: Invalid argument"), std::string::npos) << lines;
  EXPECT_NE(lines.find("area length 2147483664"), std::string::npos) << lines;
  EXPECT_NE(lines.find("left out 1 thermal margins"), std::string::npos) << lines;
  EXPECT_NE(lines.find("P1 Therm Margin"), std::string::npos) << lines;
  ASSERT_EQ(startup.table.Sensors().size(), 2u);  // temp1 under its chip name, temp2
  EXPECT_EQ(startup.table.Sensors()[0].sensor.name, "it87 temp1");
  LiveReading reading;
  const SensorInput& fifo = startup.table.Sensors()[1];
  EXPECT_EQ(fifo.source->ReadSensor(fifo.sensor, &reading), -1);
  EXPECT_FALSE(reading.valid);
}

// A firmware table of thousands of tiny structures the agent never reads, and a log whose
// firmware header format says "Type 1" while the served log has no header.
TEST(HostileSources, ManyDropsAreSummedUpAndTheServedLogHasNoHeader) {
  std::vector<Bytes> structures = {Structure(1, 0x0001, Bytes(0x15, 0), {"Kelvo", "Kelvo C850"})};
  Bytes log(0x17 - 4, 0);
  log[0x14 - 4] = 0x01;  // log header format: Type 1
  structures.push_back(Structure(15, 0x0002, log));
  for (uint16_t i = 0; i < 3000; ++i) structures.push_back(Structure(200, uint16_t(0x1000 + i), {}));
  structures.push_back(Structure(127, 0x7F00, {}));
  FirmwareTable fw;
  fw.bytes = Join(structures);
  std::string problem;
  SplitStructures(fw.bytes.data(), fw.bytes.size(), &fw.structures, &problem);
  TableInput input;
  input.firmware = &fw;
  input.logServed = true;
  input.logAreaLength = 1024;
  ServedTable table;
  std::vector<std::string> notes;
  table.Build(input, &notes);
  EXPECT_LE(notes.size(), 10u);
  EXPECT_NE(notes.back().find("more structures"), std::string::npos) << notes.back();
  // The type-15 structure follows the type-1 one (4 + 0x15 formatted bytes, 2 strings).
  const uint8_t* served = table.Buffer().data() + vigil::kSmbiosDataArea;
  const size_t at = 4 + 0x15 + std::string("Kelvo").size() + 1 + std::string("Kelvo C850").size() + 2;
  ASSERT_EQ(served[at], 15);
  EXPECT_EQ(served[at + 0x14], 0x00);
}

}  // namespace
}  // namespace hwlinux::testing
