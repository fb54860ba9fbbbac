#include "served_table.h"

#include <gtest/gtest.h>

#include "contract/driver_protocol.h"
#include "probe_structures.h"
#include "provider.h"
#include "provider/log_answer.h"
#include "smbios_bytes.h"

namespace hwlinux::testing {
namespace {

class FakeSensors : public SensorSource {
 public:
  int ListSensors(std::vector<LiveSensor>* out) override { *out = sensors; return 0; }
  int ReadSensor(const LiveSensor& sensor, LiveReading* out) override {
    ++reads;
    *out = readings.at(sensor.key);
    return out->valid ? 0 : -1;
  }
  std::vector<LiveSensor> sensors;
  std::vector<LiveReading> readings;
  int reads = 0;
};

FirmwareTable Firmware(const std::vector<Bytes>& structures) {
  FirmwareTable fw;
  fw.entry.major = 3;
  fw.entry.minor = 2;
  fw.bytes = Join(structures);
  std::string problem;
  SplitStructures(fw.bytes.data(), fw.bytes.size(), &fw.structures, &problem);
  return fw;
}

std::vector<RawStructure> ServedStructures(const ServedTable& table, Bytes* data) {
  uint32_t length = table.TableLength();
  data->assign(table.Buffer().begin() + vigil::kSmbiosDataArea, table.Buffer().begin() + vigil::kSmbiosDataArea + length);
  std::vector<RawStructure> out;
  std::string problem;
  SplitStructures(data->data(), data->size(), &out, &problem);
  EXPECT_EQ(problem, "");
  return out;
}

// The table served for a firmware table alone: no live sensor, no log.
std::vector<RawStructure> ServeFirmware(const FirmwareTable& fw, ServedTable* table, std::vector<std::string>* notes,
                                        Bytes* data) {
  TableInput input;
  input.firmware = &fw;
  table->Build(input, notes);
  return ServedStructures(*table, data);
}

struct Machine {
  FakeSensors source;
  FirmwareTable fw;
  TableInput input;
  ServedTable table;
  std::vector<std::string> notes;

  Machine() {
    source.sensors = {{SensorKind::kTemperature, "  cpu1 TEMP ", "hwmon a", 0},
                      {SensorKind::kVoltage, "Vcore", "hwmon a", 1},
                      {SensorKind::kFan, "fan1", "hwmon a", 2}};
    source.readings = {{true, 452, Severity::kOk}, {true, -1000, Severity::kCritical}, {false, 0, Severity::kOk}};
    Bytes system(0x15, 0);
    system[0x05 - 4] = 2;  // product name: string 2
    fw = Firmware({Structure(1, 0xE000, system, {"Kelvo", "Kelvo C850"}),
                   Structure(28, 0x0050, ProbeArea(0x63), {"CPU1 Temp"}),
                   Structure(28, 0x0051, ProbeArea(0x67), {"Ambient"}),
                   Structure(15, 0x0F00, Bytes(0x13, 0)),
                   Structure(17, 0x1100, Bytes(0x11, 0)),
                   Structure(127, 0x7F00, {})});
    input.firmware = &fw;
    for (const LiveSensor& s : source.sensors) input.sensors.push_back({s, &source});
    input.logServed = true;
    input.logAreaLength = 2048;
    table.Build(input, &notes);
  }
};

TEST(ServedTable, BindsByDescriptionAndSynthesizesTheRestOnce) {
  Machine m;
  Bytes data;
  std::vector<RawStructure> served = ServedStructures(m.table, &data);
  // Firmware order kept; the bound temperature is not synthesized again; voltage and fan get
  // structures of their own with handles no firmware structure has (0xE000 is taken).
  std::vector<std::pair<int, int>> expected = {{1, 0xE000}, {28, 0x0050}, {28, 0x0051}, {15, 0x0F00},
                                               {17, 0x1100}, {26, 0xE001}, {27, 0xE002}, {127, 0x7F00}};
  ASSERT_EQ(served.size(), expected.size());
  for (size_t i = 0; i < served.size(); ++i) {
    EXPECT_EQ(served[i].type, expected[i].first) << i;
    EXPECT_EQ(served[i].handle, expected[i].second) << i;
  }
  EXPECT_EQ(StructureString(data.data(), served[5], 1), "Vcore");
  // The synthesized fan is described by its live label; a C850 reads the fan number as OEM value.
  const uint8_t* fan = data.data() + served[6].offset;
  ASSERT_EQ(served[6].length, 0x0F);
  EXPECT_EQ(StructureString(data.data(), served[6], fan[0x0E]), "fan1");
  EXPECT_EQ(fan[8] | fan[9] << 8 | fan[10] << 16 | fan[11] << 24, 1);
  EXPECT_EQ(m.table.FindProbe(0x0050)->sensor, 0);
  EXPECT_EQ(m.table.FindProbe(0x0051)->sensor, -1);
  EXPECT_EQ(m.table.ProbeHandle("hwmon a", 1), 0xE001);
  EXPECT_EQ(m.table.ProbeHandle("hwmon b", 1), -1);
  EXPECT_EQ(m.table.MemoryDeviceHandle(0), 0x1100);
  EXPECT_EQ(m.table.MemoryDeviceHandle(1), -1);
  // The type-15 describes the served log: general-purpose non-volatile, area from the source.
  const uint8_t* log = data.data() + served[3].offset;
  EXPECT_EQ(log[0x0A], 4);
  EXPECT_EQ(log[4] | log[5] << 8, 2048);
}

TEST(ServedTable, FirmwareCoolingDevicesKeepTheirDescriptions) {
  Bytes area(0x0F - 4, 0);
  area[0x06 - 4] = 0x67;
  area[0x0E - 4] = 1;
  FirmwareTable fw = Firmware({Structure(1, 0x0001, Bytes(0x15, 0), {"Supermicro", "X9DBL-3F/X9DBL-iF"}),
                               Structure(27, 0x0045, area, {"Cooling Dev 1"}),
                               Structure(28, 0x0046, ProbeArea(0x67), {"LM78A"}),
                               Structure(127, 0x7F00, {})});
  ServedTable table;
  std::vector<std::string> notes;
  Bytes data;
  std::vector<RawStructure> served = ServeFirmware(fw, &table, &notes, &data);
  ASSERT_EQ(served.size(), 4u);
  EXPECT_EQ(StructureString(data.data(), served[1], data[served[1].offset + 0x0E]), "Cooling Dev 1");
  EXPECT_EQ(StructureString(data.data(), served[2], 1), "LM78A");
}

// Synthesized fans of a known model carry the value its fan rules read; anything else none.
TEST(ServedTable, FanOemValueOnlyForTheKnownModels) {
  struct Case {
    const char* product;
    uint32_t ordinal, expected;
  };
  for (const Case& c : {Case{"Kelvo A140", 1, 1}, Case{"Kelvo A141 Rack Server", 3, 3},
                        Case{"Kelvo B720", 1, 0x58380201}, Case{"Kelvo B720", 4, 0x583B0204},
                        Case{"Kelvo C850", 8, 8}, Case{"X9DBL-3F/X9DBL-iF", 1, 0},
                        Case{"Standard PC (Q35 + ICH9, 2009)", 2, 0}, Case{"Kelvo", 1, 0},
                        Case{"kelvo b720", 1, 0}, Case{"", 1, 0}}) {
    EXPECT_EQ(FanOemValue(c.product, c.ordinal), c.expected) << c.product << " " << c.ordinal;
  }
}

TEST(ServedTable, ConfiguredBindingAndNoLog) {
  Machine m;
  m.input.bindings = {{0x0051, "vcore"}, {0x0051, "fan1"}};  // the second: wrong kind for a type 28
  m.input.sensors[1].sensor.kind = SensorKind::kTemperature;
  m.input.logServed = false;
  m.notes.clear();
  m.table.Build(m.input, &m.notes);
  EXPECT_EQ(m.table.FindProbe(0x0051)->sensor, -1);  // the later binding for a handle wins, and matches nothing
  m.input.bindings = {{0x0051, "vcore"}};
  m.table.Build(m.input, &m.notes);
  EXPECT_EQ(m.table.FindProbe(0x0051)->sensor, 1);
  Bytes data;
  for (const RawStructure& s : ServedStructures(m.table, &data)) EXPECT_NE(s.type, 15);
}

TEST(ServedTable, DropsWholeStructuresTheAgentNeverReadsFromTheEnd) {
  std::vector<Bytes> parts = {Structure(1, 0x0100, Bytes(0x15, 0), {"Kelvo", "Kelvo B720"})};
  for (int i = 0; i < 80; ++i) parts.push_back(Structure(i % 2 ? 9 : 17, static_cast<uint16_t>(0x200 + i), Bytes(100, 1), {"text"}));
  parts.push_back(Structure(127, 0x7F00, {}));
  FirmwareTable fw = Firmware(parts);
  ASSERT_GT(fw.bytes.size(), vigil::kSmbiosTableSize - vigil::kSmbiosDataArea);
  ServedTable table;
  std::vector<std::string> notes;
  Bytes data;
  std::vector<RawStructure> served = ServeFirmware(fw, &table, &notes, &data);
  EXPECT_LE(table.TableLength(), vigil::kSmbiosTableSize - vigil::kSmbiosDataArea);
  int memoryDevices = 0, lastHandle = 0;
  for (const RawStructure& s : served) {
    memoryDevices += s.type == 17;
    EXPECT_GT(s.handle, lastHandle);  // order kept
    lastHandle = s.handle;
  }
  EXPECT_EQ(memoryDevices, 40);       // every memory device kept
  EXPECT_EQ(served.back().type, 127);
  // Slots were dropped from the end first: the early ones stay.
  EXPECT_EQ(served[2].handle, 0x201);
  EXPECT_FALSE(notes.empty());
}

TEST(Provider, AnswersSensorCommandsAsTheAgentReadsThem) {
  Machine m;
  Provider provider(m.table, nullptr, LogSnapshot());
  struct Case {
    uint16_t handle;
    uint32_t statusAt, rawAt;
    uint8_t status;
    uint16_t raw;
  };
  for (const Case& c : {Case{0x0050, 9, 24, 0x63, 452},      // bound temperature, location kept
                        Case{0xE001, 9, 24, 0xA3, 0xFC17},   // -1.000 V, critical, "Vcore" at the processor
                        Case{0xE002, 10, 16, 0x43, 0x8000},  // fan without a reading: unknown
                        Case{0x0051, 9, 24, 0x47, 0x8000}}) {  // firmware probe with no live sensor
    uint8_t block[vigil::kCommandBlockSize] = {vigil::kCommandReadSensor, 0, static_cast<uint8_t>(c.handle),
                                                static_cast<uint8_t>(c.handle >> 8)};
    uint32_t returned = 0;
    ASSERT_TRUE(provider.Serve(vigil::kIoctlDeviceCommand, block, 4, sizeof block, &returned));
    EXPECT_EQ(block[c.statusAt], c.status) << std::hex << c.handle;
    EXPECT_EQ(block[c.rawAt] | block[c.rawAt + 1] << 8, c.raw) << std::hex << c.handle;
  }
  EXPECT_EQ(m.source.reads, 3);  // one source read per live sensor asked, none for the unbound probe
  uint8_t unknown[vigil::kCommandBlockSize] = {vigil::kCommandReadSensor, 0, 0x99, 0x99};
  uint32_t returned = 0;
  EXPECT_FALSE(provider.Serve(vigil::kIoctlDeviceCommand, unknown, 4, sizeof unknown, &returned));
  uint8_t alert[vigil::kCommandBlockSize] = {vigil::kCommandLogAlert, 0};
  EXPECT_TRUE(provider.Serve(vigil::kIoctlDeviceCommand, alert, 4, sizeof alert, &returned));
  EXPECT_EQ(provider.Stats().logFullAlerts, 1u);
}

TEST(Provider, AnswersLogReadsFromTheSnapshotAndRefusesBrokenRecords) {
  class FixedLog : public LogSource {
   public:
    const char* Name() const override { return "fixed"; }
    int Refresh(const HandleLookup&, LogSnapshot*) override { return -1; }
  } log;
  Machine m;
  LogSnapshot snapshot;
  snapshot.identity = 0x1234;
  snapshot.records = Join({LogRecord(0x17, 0), LogRecord(0x01, 1, {0, 0x11, 0, 0}), Bytes{0x01, 0x00, 0x55}});
  Provider provider(m.table, &log, snapshot);
  vigil::LogReadRecord record = {};
  record.dataLength = vigil::kLogDataCapacity;
  uint32_t returned = 0;
  ASSERT_TRUE(provider.Serve(vigil::kIoctlReadEventLog, reinterpret_cast<uint8_t*>(&record), 8, sizeof record, &returned));
  EXPECT_EQ(record.firstRecordTime, 0x1234u);
  EXPECT_EQ(record.dataLength, 8 + 12);  // the zero-length record after them is never served
  EXPECT_EQ(record.moreRecords, 0);
  EXPECT_EQ(hwgate::ServableLogLength(snapshot.records.data(), uint32_t(snapshot.records.size())), 20u);
}

}  // namespace
}  // namespace hwlinux::testing
