// The bytes hwgate-linux takes from the kernel's DMI exports: the entry point, the structure
// table (split, its strings looked up, then served: binding, synthesis, fitting) and a
// type-15 log area. The first byte picks how the rest is split between them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dmi_event_log.h"
#include "dmi_table.h"
#include "provider.h"
#include "served_table.h"

namespace {

class OneSensor : public hwlinux::SensorSource {
 public:
  int ListSensors(std::vector<hwlinux::LiveSensor>*) override { return 0; }
  int ReadSensor(const hwlinux::LiveSensor&, hwlinux::LiveReading* out) override {
    *out = {true, 300, hwlinux::Severity::kOk};
    return 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t split = size > 1 ? data[0] * (size - 1) / 255 : 0;
  const uint8_t* rest = data + 1;
  size_t restSize = size - 1;

  hwlinux::EntryPoint entry;
  std::string problem;
  hwlinux::ParseEntryPoint(rest, restSize < 32 ? restSize : 32, &entry, &problem);

  hwlinux::FirmwareTable fw;
  fw.bytes.assign(rest, rest + split);
  hwlinux::SplitStructures(fw.bytes.data(), fw.bytes.size(), &fw.structures, &problem);
  for (const hwlinux::RawStructure& s : fw.structures) {
    for (uint8_t n = 0; n < 4; ++n) hwlinux::StructureString(fw.bytes.data(), s, n);
  }
  OneSensor source;
  hwlinux::TableInput input;
  input.firmware = &fw;
  input.logServed = true;
  input.logAreaLength = 4096;
  for (int i = 0; i < 3; ++i) {
    input.sensors.push_back({{static_cast<hwlinux::SensorKind>(i), i == 0 ? "CPU1 Temp" : "x", "fuzz", 0}, &source});
  }
  hwlinux::ServedTable table;
  std::vector<std::string> notes;
  table.Build(input, &notes);

  hwlinux::LogSnapshot snapshot;
  hwlinux::CollectLogRecords(rest + split, restSize - split, &snapshot.records, &snapshot.skipped);
  snapshot.identity = hwlinux::LogIdentity(snapshot.records);
  hwlinux::Provider provider(table, nullptr, snapshot);
  for (const hwlinux::ServedProbe& probe : table.Probes()) {
    uint8_t block[260] = {0x51, 0, static_cast<uint8_t>(probe.handle), static_cast<uint8_t>(probe.handle >> 8)};
    uint32_t returned = 0;
    provider.Serve(0x80002028, block, 4, sizeof block, &returned);
  }
  return 0;
}
