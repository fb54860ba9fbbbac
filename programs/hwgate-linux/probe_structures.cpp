#include "probe_structures.h"

#include <algorithm>

#include "contract/smbios_types.h"
#include "smbios/known_models.h"

namespace hwlinux {

namespace {

namespace types = vigil::smbios;

constexpr uint8_t kStatusUnknown = 0x40, kStatusOk = 0x60, kStatusNonCritical = 0x80;
constexpr uint8_t kStatusCritical = 0xA0, kStatusNonRecoverable = 0xC0;
constexpr uint8_t kLocationProcessor = 3, kLocationUnknown = 2;
constexpr uint8_t kCoolingFan = 3;
constexpr size_t kMaxName = 64;
constexpr uint8_t kLogStatusValid = 0x01;

void Put16(std::vector<uint8_t>& s, size_t at, uint16_t v) {
  s[at] = static_cast<uint8_t>(v);
  s[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Header(uint8_t type, uint8_t length, uint16_t handle) {
  std::vector<uint8_t> s(length, 0);
  s[0] = type;
  s[1] = length;
  Put16(s, 2, handle);
  return s;
}

// A structure's one string: the sensor's name as a string-set, never empty, never cut by a NUL.
void AppendName(std::vector<uint8_t>& s, const std::string& name, const char* fallback) {
  std::string text;
  for (char c : name.substr(0, kMaxName)) text += c == '\0' ? ' ' : c;
  if (text.empty()) text = fallback;
  s.insert(s.end(), text.begin(), text.end());
  s.push_back(0);
  s.push_back(0);
}

bool LooksLikeProcessor(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* word : {"cpu", "core", "package", "processor", "tctl", "tdie"}) {
    if (lower.find(word) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

uint8_t StructureTypeFor(SensorKind kind) {
  switch (kind) {
    case SensorKind::kTemperature: return types::kTypeTemperatureProbe;
    case SensorKind::kVoltage: return types::kTypeVoltageProbe;
    case SensorKind::kFan: return types::kTypeCoolingDevice;
  }
  return types::kTypeTemperatureProbe;
}

std::vector<uint8_t> MakeProbe(SensorKind kind, uint16_t handle, const std::string& name) {
  std::vector<uint8_t> s = Header(StructureTypeFor(kind), vigil::smbios::kProbeLength, handle);
  s[vigil::smbios::kProbeDescriptionField] = 1;
  uint8_t location = LooksLikeProcessor(name) ? kLocationProcessor : kLocationUnknown;
  s[vigil::smbios::kProbeLocationStatusField] = static_cast<uint8_t>(kStatusOk | location);
  for (size_t at = 0x06; at + 1 < vigil::smbios::kProbeLength; at += 2) Put16(s, at, vigil::kRawNoReading);  // max .. nominal unknown
  Put32(s, 0x10, 0);  // OEM-defined
  AppendName(s, name, "sensor");
  return s;
}

std::vector<uint8_t> MakeCoolingDevice(uint16_t handle, uint32_t oemValue, const std::string& name) {
  std::vector<uint8_t> s = Header(types::kTypeCoolingDevice, vigil::smbios::kCoolingLength, handle);
  Put16(s, 0x04, 0xFFFF);  // no temperature probe
  s[vigil::smbios::kCoolingTypeStatusField] = static_cast<uint8_t>(kStatusOk | kCoolingFan);
  Put32(s, vigil::smbios::kCoolingOemField, oemValue);
  Put16(s, 0x0C, vigil::kRawNoReading);
  s[vigil::smbios::kCoolingDescriptionField] = 1;
  AppendName(s, name, "fan");
  return s;
}

void DescribeServedLog(std::vector<uint8_t>* structure, uint32_t areaLength) {
  // Version 2.1 added the log header format (14h); the log served has no header at all,
  // whatever the firmware's own log had.
  constexpr uint8_t kLogHeaderFormatAt = 0x14;
  constexpr uint8_t kNoHeader = 0x00;
  std::vector<uint8_t>& s = *structure;
  if (s.size() > kLogHeaderFormatAt && s[1] > kLogHeaderFormatAt) s[kLogHeaderFormatAt] = kNoHeader;
  Put16(s, vigil::smbios::kEventLogAreaLengthField, static_cast<uint16_t>(std::min<uint32_t>(areaLength, 0xFFFF)));
  Put16(s, vigil::smbios::kEventLogHeaderStartField, 0);
  Put16(s, vigil::smbios::kEventLogDataStartField, 0);
  s[vigil::smbios::kEventLogAccessMethodField] = vigil::smbios::kEventLogAccessGeneralPurpose;
  s[vigil::smbios::kEventLogStatusField] = kLogStatusValid;
  Put32(s, vigil::smbios::kEventLogAccessAddressField, 0);
}

std::vector<uint8_t> MakeEventLog(uint16_t handle, uint32_t areaLength) {
  std::vector<uint8_t> s = Header(types::kTypeSystemEventLog, vigil::smbios::kEventLogMinLength, handle);
  DescribeServedLog(&s, areaLength);
  s.push_back(0);
  s.push_back(0);
  return s;
}

std::vector<uint8_t> MakeEndOfTable(uint16_t handle) {
  std::vector<uint8_t> s = Header(types::kTypeEndOfTable, 4, handle);
  s.push_back(0);
  s.push_back(0);
  return s;
}

uint32_t FanOemValue(const std::string& productName, uint32_t ordinal) {
  // Matched as the agent matches: the first ten bytes, a shorter name carrying its NUL.
  std::string field = productName;
  field.resize(std::max(field.size(), vigil::kModelNameLength) + 1, '\0');
  const vigil::KnownModel* model = vigil::FindKnownModel(field.c_str());
  if (model == nullptr) return 0;
  if (model->index == vigil::kModelKelvoB720) return vigil::KelvoB720FanWord(ordinal);
  return ordinal & 0xFF;
}

uint8_t StatusBits(const LiveReading& reading) {
  if (!reading.valid) return kStatusUnknown;
  switch (reading.severity) {
    case Severity::kOk: return kStatusOk;
    case Severity::kNonCritical: return kStatusNonCritical;
    case Severity::kCritical: return kStatusCritical;
    case Severity::kNonRecoverable: return kStatusNonRecoverable;
  }
  return kStatusUnknown;
}

uint16_t RawReading(SensorKind kind, const LiveReading& reading) {
  if (!reading.valid) return vigil::kRawNoReading;
  int32_t v = reading.value;
  switch (kind) {
    case SensorKind::kVoltage:
      // Clamped to what the agent reads as this sign (contract/driver_protocol.h).
      if (v < 0) return static_cast<uint16_t>(vigil::kNegativeVoltageBase + std::max(v, -0x7FFE));
      return static_cast<uint16_t>(std::min<int32_t>(v, vigil::kFirstNegativeVoltageRaw - 1));
    case SensorKind::kTemperature:
      // Read as an unsigned count of tenths: below zero there is nothing truer than 0.
      return static_cast<uint16_t>(std::clamp(v, 0, 0x7FFF));
    case SensorKind::kFan:
      return static_cast<uint16_t>(std::clamp(v, 0, 0x7FFF));
  }
  return vigil::kRawNoReading;
}

}  // namespace hwlinux
