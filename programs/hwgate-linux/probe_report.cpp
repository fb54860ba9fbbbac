#include "probe_report.h"

#include <cstdio>

#include "contract/driver_protocol.h"
#include "probe_structures.h"
#include "sensor_range.h"

namespace hwlinux {

namespace {

const char* KindName(SensorKind kind) {
  switch (kind) {
    case SensorKind::kTemperature: return "temperature";
    case SensorKind::kVoltage: return "voltage";
    case SensorKind::kFan: return "fan";
  }
  return "?";
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kOk: return "ok";
    case Severity::kNonCritical: return "non-critical";
    case Severity::kCritical: return "critical";
    case Severity::kNonRecoverable: return "non-recoverable";
  }
  return "?";
}

std::string Quantity(SensorKind kind, int32_t value) {
  char text[64];
  switch (kind) {
    case SensorKind::kTemperature: std::snprintf(text, sizeof text, "%.1f C", value / 10.0); break;
    case SensorKind::kVoltage: std::snprintf(text, sizeof text, "%.3f V", value / 1000.0); break;
    case SensorKind::kFan: std::snprintf(text, sizeof text, "%d RPM", value); break;
  }
  return text;
}

// The administrator writes scale lines from the pin value shown here.
std::string ValueText(SensorKind kind, const LiveReading& reading) {
  if (!reading.valid) return "no reading";
  std::string text = Quantity(kind, reading.value);
  if (reading.scaled) text += " (pin " + Quantity(kind, reading.pinValue) + ")";
  if (!InServedRange(kind, reading.value)) return text + ", outside what the served format carries: served as no reading";
  return text + ", " + SeverityName(reading.severity);
}

size_t CountRecords(const std::vector<uint8_t>& records) {
  size_t count = 0;
  for (size_t at = 0; at + 2 <= records.size() && vigil::LogRecordLength(records.data() + at) >= 2;
       at += vigil::LogRecordLength(records.data() + at)) {
    ++count;
  }
  return count;
}

}  // namespace

void PrintProbeReport(Startup& startup, std::ostream& out) {
  const ServedTable& table = startup.table;
  const FirmwareTable* fw = startup.sources.firmware.get();
  char version[32];
  std::snprintf(version, sizeof version, "%u.%u", table.Version() >> 8, table.Version() & 0xFF);
  out << "SMBIOS table: ";
  if (fw != nullptr) {
    out << fw->bytes.size() << " bytes, " << fw->structures.size() << " structures, version " << version
        << " (" << (fw->entry.bits64 ? "64" : "32") << "-bit entry point); ";
  } else {
    out << "none from the firmware; ";
  }
  out << "served " << table.TableLength() << " of " << vigil::kSmbiosTableSize - vigil::kSmbiosDataArea << " bytes\n";
  if (LogSource* log = startup.sources.log.get()) {
    out << "event log: " << log->Name() << ", " << CountRecords(startup.snapshot.records) << " records ("
        << startup.snapshot.records.size() << " of " << startup.snapshot.areaLength << " bytes)";
    if (startup.snapshot.skipped != 0) out << ", " << startup.snapshot.skipped << " events without an SMBIOS record";
    out << "\n";
  } else {
    out << "event log: none\n";
  }
  out << "sensors: " << table.Sensors().size() << "\n";
  for (const ServedProbe& probe : table.Probes()) {
    char handle[16];
    std::snprintf(handle, sizeof handle, "0x%04X", probe.handle);
    if (probe.sensor < 0) {
      out << "  " << handle << " type " << int(probe.type) << " (firmware, no live sensor bound)\n";
      continue;
    }
    const SensorInput& input = table.Sensors()[static_cast<size_t>(probe.sensor)];
    LiveReading reading;
    input.source->ReadSensor(input.sensor, &reading);
    out << "  " << handle << " " << KindName(input.sensor.kind) << " \"" << input.sensor.name << "\" "
        << input.sensor.origin << (probe.synthesized ? "" : " (bound to the firmware's probe)") << ": "
        << ValueText(input.sensor.kind, reading) << "\n";
  }
}

}  // namespace hwlinux
