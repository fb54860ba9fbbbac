#include "pet_trap.h"

#include <algorithm>
#include <cstring>

namespace vigilctl {
namespace {

constexpr int64_t kPetEpoch = 883612800;      // 1998-01-01 00:00:00 UTC in Unix seconds
constexpr uint8_t kSourceFirmware = 0x00;     // platform firmware (BIOS)
constexpr uint8_t kSourceSmiHandler = 0x08;
constexpr uint8_t kSourceSoftware = 0x10;     // ISV system management software: this sender
constexpr uint8_t kSourceIpmi = 0x20;
constexpr uint8_t kLanguageEnglish = 0x19;
constexpr uint8_t kTextField = 0xC0;          // 8-bit text, length in the low six bits
constexpr uint8_t kEndOfFields = 0xC1;
constexpr std::size_t kMaxTextField = 63;

// Which kind of source raised the event, from the IPMI generator ID: an even value is an IPMB
// slave address (a controller), an odd one a software ID (BIOS, SMI handler, other software).
uint8_t EventSourceType(uint8_t generatorIdLow) {
  if ((generatorIdLow & 1) == 0) return kSourceIpmi;
  if (generatorIdLow < 0x20) return kSourceFirmware;
  if (generatorIdLow < 0x40) return kSourceSmiHandler;
  return kSourceSoftware;
}

uint8_t ThresholdSeverity(uint8_t offset) {
  static const uint8_t kByOffset[12] = {
      kSeverityNonCritical, kSeverityNonCritical, kSeverityCritical, kSeverityCritical,
      kSeverityNonRecoverable, kSeverityNonRecoverable, kSeverityNonCritical, kSeverityNonCritical,
      kSeverityCritical, kSeverityCritical, kSeverityNonRecoverable, kSeverityNonRecoverable};
  return offset < 12 ? kByOffset[offset] : kSeverityInformation;
}

uint8_t GenericSeverity(uint8_t offset) {  // event type 07h, "severity" states
  static const uint8_t kByOffset[9] = {
      kSeverityOk, kSeverityNonCritical, kSeverityCritical, kSeverityNonRecoverable,
      kSeverityNonCritical, kSeverityCritical, kSeverityNonRecoverable, kSeverityMonitor,
      kSeverityInformation};
  return offset < 9 ? kByOffset[offset] : kSeverityInformation;
}

uint8_t SensorSpecificSeverity(uint8_t sensorType, uint8_t offset) {
  switch (sensorType) {
    case 0x05:  // physical security (chassis intrusion)
    case 0x13:  // critical interrupt (NMI, bus timeouts, PCI PERR/SERR)
      return kSeverityCritical;
    case 0x07:  // processor: IERR, thermal trip, FRB failures, configuration error
      return offset <= 5 ? kSeverityCritical : kSeverityInformation;
    case 0x0C:  // memory
      if (offset == 1 || offset == 2 || offset == 3) return kSeverityCritical;  // uncorrectable, parity, scrub
      if (offset == 0 || offset == 4 || offset == 5) return kSeverityNonCritical;  // correctable, disabled, limit
      return kSeverityInformation;
    case 0x0F:  // system firmware progress: error, hang
      return offset <= 1 ? kSeverityCritical : kSeverityInformation;
    case 0x10:  // event logging disabled: log full or almost full
      return offset == 4 || offset == 5 ? kSeverityNonCritical : kSeverityInformation;
    default:
      return kSeverityInformation;
  }
}

void PutBigEndian(std::vector<uint8_t>* out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

uint32_t PetSpecificTrap(const vigil::HistoryEntry& e) {
  return uint32_t(e.sensorType) << 16 | uint32_t(e.eventReadingType & 0x7F) << 8 |
         (e.eventReadingType & 0x80) | (e.eventData1 & 0x0F);
}

uint8_t PetEventSeverity(const vigil::HistoryEntry& e) {
  if (e.eventReadingType & 0x80) return kSeverityOk;  // deassertion: the condition has gone
  const uint8_t type = e.eventReadingType & 0x7F;
  const uint8_t offset = e.eventData1 & 0x0F;
  if (type == 0x01) return ThresholdSeverity(offset);
  if (type == 0x07) return GenericSeverity(offset);
  if (type == 0x6F) return SensorSpecificSeverity(e.sensorType, offset);
  return kSeverityInformation;
}

PetFields PetFromEntry(const vigil::HistoryEntry& e, const uint8_t* uuid16, uint16_t sequence,
                       int utcOffsetMinutes) {
  PetFields f{};
  std::memcpy(f.guid, uuid16, sizeof f.guid);
  f.sequence = sequence;
  const int64_t local = int64_t(e.time) + int64_t(utcOffsetMinutes) * 60 - kPetEpoch;
  // Time 0 is the agent's "unknown"; PET has no way to say a time before 1998.
  const bool known = e.time != 0 && local > 0 && local <= int64_t(UINT32_MAX);
  f.localTimestamp = known ? uint32_t(local) : 0;
  f.utcOffset = known ? uint16_t(int16_t(utcOffsetMinutes)) : 0xFFFF;
  f.trapSourceType = kSourceSoftware;
  f.eventSourceType = EventSourceType(e.generatorIdLow);
  f.severity = PetEventSeverity(e);
  f.sensorDevice = e.generatorIdLow;
  f.sensorNumber = e.sensorNumber;
  // The event tables' PET bytes 3 and 4 name the entity (e.g. 22h BIOS, 03h processor) and
  // its instance.
  f.entity = e.pet3;
  f.entityInstance = e.pet4;
  f.eventData[0] = e.eventData1;
  f.eventData[1] = e.eventData2;
  f.eventData[2] = e.eventData3;
  f.languageCode = kLanguageEnglish;
  f.manufacturerId = 0;
  f.systemId = 0;
  f.text.assign(e.text, strnlen(e.text, sizeof e.text));
  return f;
}

std::vector<uint8_t> EncodePetVarbind(const PetFields& f) {
  std::vector<uint8_t> out(f.guid, f.guid + sizeof f.guid);
  PutBigEndian(&out, f.sequence, 2);
  PutBigEndian(&out, f.localTimestamp, 4);
  PutBigEndian(&out, f.utcOffset, 2);
  for (uint8_t b : {f.trapSourceType, f.eventSourceType, f.severity, f.sensorDevice, f.sensorNumber,
                    f.entity, f.entityInstance}) {
    out.push_back(b);
  }
  out.insert(out.end(), f.eventData, f.eventData + sizeof f.eventData);
  out.push_back(f.languageCode);
  PutBigEndian(&out, f.manufacturerId, 4);
  PutBigEndian(&out, f.systemId, 2);
  // A one-byte text field would read C1h, the end marker: pad a one-character text, and never
  // leave one byte for the last field.
  std::string text = f.text.size() == 1 ? f.text + " " : f.text;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t n = std::min(kMaxTextField, text.size() - at);
    if (text.size() - at - n == 1) --n;
    out.push_back(uint8_t(kTextField | n));
    out.insert(out.end(), text.begin() + at, text.begin() + at + n);
    at += n;
  }
  out.push_back(kEndOfFields);
  return out;
}

bool ParsePetSeverity(const std::string& name, uint8_t* severity) {
  static const struct {
    const char* name;
    uint8_t value;
  } kNames[] = {{"unspecified", kSeverityUnspecified}, {"monitor", kSeverityMonitor},
                {"information", kSeverityInformation}, {"ok", kSeverityOk},
                {"non-critical", kSeverityNonCritical}, {"critical", kSeverityCritical},
                {"non-recoverable", kSeverityNonRecoverable}};
  for (const auto& n : kNames) {
    if (name == n.name) {
      *severity = n.value;
      return true;
    }
  }
  return false;
}

}  // namespace vigilctl
