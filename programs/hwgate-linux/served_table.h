// The SMBIOS table hwgate-linux serves: the firmware's structures in their order, each
// firmware probe or cooling device bound to the live sensor it describes, a probe of its own
// for every live sensor no firmware structure describes, a type-15 structure describing the
// log actually served, all in the standard layout within the agent's 8192-byte buffer.
//
// Synthesized structures take handles from 0xE000 upward, skipping every handle the firmware
// uses, so they never collide with one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware_table.h"
#include "live_sources.h"

namespace hwlinux {

constexpr uint16_t kFirstSynthesizedHandle = 0xE000;

// A live sensor and the source that reads it.
struct SensorInput {
  LiveSensor sensor;
  SensorSource* source = nullptr;
};

// A configured binding: the firmware structure `handle` shows the live sensor named `name`.
struct Binding {
  uint16_t handle = 0;
  std::string name;
};

struct TableInput {
  const FirmwareTable* firmware = nullptr;  // null: no firmware table (only synthesized parts)
  std::vector<SensorInput> sensors;
  std::vector<Binding> bindings;
  bool logServed = false;
  uint32_t logAreaLength = 0;
};

// A probe or cooling device of the served table.
struct ServedProbe {
  uint16_t handle = 0;
  uint8_t type = 0;
  uint32_t offset = 0;  // of the formatted area in the served buffer
  uint8_t length = 0;
  int sensor = -1;      // index into TableInput::sensors, -1 when no live sensor is bound
  bool synthesized = false;
};

class ServedTable : public HandleLookup {
 public:
  // Builds the table; *notes gets one line per thing worth saying at start (bindings made,
  // configured bindings that match nothing, structures dropped to fit). Not thread-safe:
  // build before serving.
  void Build(const TableInput& input, std::vector<std::string>* notes);

  const std::vector<uint8_t>& Buffer() const { return buffer_; }  // 8192 bytes
  uint32_t TableLength() const { return tableLength_; }
  uint16_t Version() const { return version_; }
  const std::vector<SensorInput>& Sensors() const { return sensors_; }
  const std::vector<ServedProbe>& Probes() const { return probes_; }
  const ServedProbe* FindProbe(uint16_t handle) const;  // null when not a served probe

  int ProbeHandle(const std::string& origin, uint32_t key) const override;
  int MemoryDeviceHandle(uint32_t index) const override;

 private:
  std::vector<uint8_t> buffer_;
  uint32_t tableLength_ = 0;
  uint16_t version_ = 0;
  std::vector<SensorInput> sensors_;
  std::vector<ServedProbe> probes_;
  std::vector<uint16_t> memoryDevices_;
};

// Case-insensitive equality with surrounding blanks ignored: how a firmware description and a
// live sensor's name are matched.
bool SameSensorName(const std::string& a, const std::string& b);

}  // namespace hwlinux
