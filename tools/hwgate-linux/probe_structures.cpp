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
  std::vector<uint8_t> s = Header(StructureTypeFor(kind), kProbeLength, handle);
  s[kProbeDescriptionAt] = 1;
  uint8_t location = LooksLikeProcessor(name) ? kLocationProcessor : kLocationUnknown;
  s[kProbeLocationStatusAt] = static_cast<uint8_t>(kStatusOk | location);
  for (size_t at = 0x06; at + 1 < kProbeLength; at += 2) Put16(s, at, kNoReading);  // max .. nominal unknown
  Put32(s, 0x10, 0);  // OEM-defined
  AppendName(s, name, "sensor");
  return s;
}

std::vector<uint8_t> MakeCoolingDevice(uint16_t handle, uint32_t oemValue, const std::string& name) {
  std::vector<uint8_t> s = Header(types::kTypeCoolingDevice, kCoolingLength, handle);
  Put16(s, 0x04, 0xFFFF);  // no temperature probe
  s[kCoolingTypeStatusAt] = static_cast<uint8_t>(kStatusOk | kCoolingFan);
  Put32(s, kCoolingOemAt, oemValue);
  Put16(s, 0x0C, kNoReading);
  s[kCoolingDescriptionAt] = 1;
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
  Put16(s, kLogAreaLengthAt, static_cast<uint16_t>(std::min<uint32_t>(areaLength, 0xFFFF)));
  Put16(s, kLogHeaderStartAt, 0);
  Put16(s, kLogDataStartAt, 0);
  s[kLogAccessMethodAt] = kLogGeneralPurpose;
  s[kLogStatusAt] = kLogStatusValid;
  Put32(s, kLogAddressAt, 0);
}

std::vector<uint8_t> MakeEventLog(uint16_t handle, uint32_t areaLength) {
  std::vector<uint8_t> s = Header(types::kTypeSystemEventLog, kLogMinLength, handle);
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
  if (model->index == vigil::kModelKelvoB720) return 0x58380201u + (ordinal - 1) * 0x00010001u;
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
  if (!reading.valid) return kNoReading;
  int32_t v = reading.value;
  switch (kind) {
    case SensorKind::kVoltage:
      // The agent reads 0x7FFF and above as -(0xFFFF - raw) mV.
      if (v < 0) return static_cast<uint16_t>(0xFFFF + std::max(v, -0x7FFE));
      return static_cast<uint16_t>(std::min(v, 0x7FFE));
    case SensorKind::kTemperature:
      // Read as an unsigned count of tenths: below zero there is nothing truer than 0.
      return static_cast<uint16_t>(std::clamp(v, 0, 0x7FFF));
    case SensorKind::kFan:
      return static_cast<uint16_t>(std::clamp(v, 0, 0x7FFF));
  }
  return kNoReading;
}

}  // namespace hwlinux
