// What hwgate-linux serves comes from live sources on the machine: the firmware's SMBIOS table,
// a BIOS event log (the firmware's type-15 log or the BMC's SEL translated into type-15
// records), and threshold sensors (the BMC's SDR repository, hwmon). Each source sits behind
// one of these interfaces so the device server, the `--probe` report and the tests treat them
// alike, and unit tests drive them from fixture trees or a scripted BMC.
//
// Threads: the provider serves one exchange at a time; no source is called from two threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hwlinux {

enum class SensorKind : uint8_t { kTemperature, kVoltage, kFan };

// One live threshold sensor as its source lists it.
struct LiveSensor {
  SensorKind kind = SensorKind::kTemperature;
  std::string name;    // IPMI id string or hwmon label, surrounding blanks trimmed
  std::string origin;  // where it is read, for --probe and logs ("ipmi", "hwmon <path>")
  uint32_t key = 0;    // the source's own identifier (IPMI: owner << 16 | lun << 8 | number)
};

enum class Severity : uint8_t { kOk, kNonCritical, kCritical, kNonRecoverable };

// A reading in the units the agent reads: temperature in tenths of a degree Celsius, voltage
// in millivolts, fan speed in RPM.
struct LiveReading {
  bool valid = false;  // false: no reading (served as 0x8000, status unknown)
  int32_t value = 0;
  Severity severity = Severity::kOk;
  bool scaled = false;   // value was converted by a configured scale from...
  int32_t pinValue = 0;  // ...this value the source measured (same units), for --probe
};

class SensorSource {
 public:
  virtual ~SensorSource() = default;
  // The source's threshold sensors (discrete sensors are left out). Returns 0, or -1 when the
  // source cannot be listed at all (*out then empty).
  virtual int ListSensors(std::vector<LiveSensor>* out) = 0;
  // Reads one sensor that ListSensors returned. Returns 0; -1 when it could not be asked,
  // and then *out says no reading.
  virtual int ReadSensor(const LiveSensor& sensor, LiveReading* out) = 0;
};

// Answers the served table's questions while a log source translates events: which handle a
// record should name.
class HandleLookup {
 public:
  virtual ~HandleLookup() = default;
  // Handle of the probe served for `key` of the source named `origin`, or -1 when none is.
  virtual int ProbeHandle(const std::string& origin, uint32_t key) const = 0;
  // Handle of the type-17 memory device for the DIMM numbered `index` (0-based, in table
  // order), or -1.
  virtual int MemoryDeviceHandle(uint32_t index) const = 0;
};

// The BIOS event log as served: SMBIOS event log records back to back from position 0, in
// log order, each with its length in the low 7 bits of byte 1.
struct LogSnapshot {
  uint32_t identity = 0;    // answered as the first-record time; changes when the log is cleared
  uint32_t areaLength = 0;  // log area length for the served type-15 structure
  std::vector<uint8_t> records;
  uint32_t skipped = 0;     // source events that have no SMBIOS counterpart
};

// Area length served for a log whose source has not answered yet: the most the wire can
// address, so no utilization is over-stated before the real size is known.
constexpr uint32_t kUnknownLogArea = 0xFFFF;

class LogSource {
 public:
  virtual ~LogSource() = default;
  virtual const char* Name() const = 0;  // "smbios" or "ipmi"
  // Brings *snapshot up to date; cheap when nothing changed (the BMC: one Get SEL Info).
  // Records already in *snapshot keep their positions unless the log was cleared. Returns 0,
  // or -1 when the log could not be read (*snapshot then unchanged).
  virtual int Refresh(const HandleLookup& handles, LogSnapshot* snapshot) = 0;
};

}  // namespace hwlinux
