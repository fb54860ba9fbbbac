#include "agent/eventlog/event_decoder.h"

#include <cstdio>
#include <cstring>

#include "agent/eventlog/bounded_text.h"
#include "agent/eventlog/record_time.h"
#include "agent/eventtables/event_table.h"
#include "agent/platform/managed_device.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "contract/le_bytes.h"
#include "contract/smbios_types.h"

namespace vigil {

namespace {

// Record bytes the decoder reads: header, BCD time and two words of variable data.
constexpr uint32_t kDecodedBytes = 16;
constexpr std::size_t kFirstWordOffset = smbios::kLogRecordDataField;
constexpr std::size_t kSecondWordOffset = kFirstWordOffset + 4;
// The PCI location of a bus error: a presence flag, device and function, bus.
constexpr std::size_t kPciPresentOffset = smbios::kLogRecordDataField;
constexpr std::size_t kPciDeviceFunctionOffset = kPciPresentOffset + 1;
constexpr std::size_t kPciBusOffset = kPciPresentOffset + 2;
constexpr uint32_t kGeneralCode = kGeneralEventCode;

constexpr uint32_t kPostSecondWordValid = 0x01000000u;
constexpr uint32_t kPostSecondWordBase = 256;

constexpr uint8_t kSensorTypeTemperature = 1;
constexpr uint8_t kPetOverTemperature = 3;

// The event is told as an IPMI system event record: its fixed fields.
constexpr uint8_t kSystemEventRecordType = 2;
constexpr uint8_t kGeneratorId = 0x21;      // system software
constexpr uint8_t kPostGeneratorId = 0x01;  // what POST memory resize events carry instead
constexpr uint8_t kEventMessageRevision = 3;
constexpr uint8_t kNoSensorNumber = 255;
// Trap bytes of an event the event table has no PET record for: a System Event (sensor type
// 0x12) with a sensor-specific reading (0x6F).
constexpr uint8_t kDefaultSensorType = 0x12;
constexpr uint8_t kDefaultEventReadingType = 0x6F;
constexpr uint8_t kDefaultPet3 = 0x22;
constexpr uint8_t kDefaultEventData1 = 1;

// System limit codes that name a probe or cooling device by its handle (low 16 bits).
constexpr uint32_t kLimitByHandleMask = 0xFFFF0000u;
constexpr uint32_t kLimitByHandle = 0x00010000u;
// The first system limit code of each kind of device: with the generic set, its entry holds the
// trap bytes of that kind's limit events.
constexpr uint32_t kFirstVoltageLimitCode = 0x00;
constexpr uint32_t kFirstTemperatureLimitCode = 0x10;
constexpr uint32_t kFirstFanLimitCode = 0x20;

// Memory locator keys of the A140/A141 DIMM sockets: firmware handles 256-259 stand for the
// table's handles 31, 33, 35 and 37.
constexpr uint16_t kA14xFirstSocketHandle = 256;
constexpr uint16_t kA14xLastSocketHandle = 259;
constexpr uint16_t kA14xFirstSocketKey = 31;
// C850 firmware logs a memory device as its SMBIOS handle plus this.
constexpr uint16_t kC850HandleBias = 0x1700;  // 5888

// Number of the lowest set bit; the caller has checked that one is set.
uint32_t LowestSetBit(uint32_t bits) {
  uint32_t n = 0;
  while ((bits & 1u) == 0) {
    bits >>= 1;
    ++n;
  }
  return n;
}

void SetText(DecodedEvent* event, const char* text) {
  event->entry.text[0] = '\0';
  AppendBoundedText(event->entry.text, sizeof event->entry.text, text);
}

void AppendMemoryLocator(DecodedEvent* event, uint32_t firstWord) {
  auto found = gMemoryDeviceMap.find(MemoryLocatorKey(gModelIndex, uint16_t(firstWord)));
  if (found != gMemoryDeviceMap.end()) {
    AppendBoundedText(event->entry.text, sizeof event->entry.text, found->second.c_str());
    AppendBoundedText(event->locator, sizeof event->locator, found->second.c_str());
  }
}

void AppendBusText(DecodedEvent* event, const uint8_t* bytes) {
  if (bytes[kPciPresentOffset] == 0) return;
  const int bus = bytes[kPciBusOffset];
  const int device = bytes[kPciDeviceFunctionOffset] >> 3;
  const int function = bytes[kPciDeviceFunctionOffset] & 7;
  char busText[64];
  std::snprintf(busText, sizeof busText, "-bus no.%1d device no.%1d function no.%1d", bus, device, function);
  AppendBoundedText(event->entry.text, sizeof event->entry.text, busText);
  std::snprintf(event->locator, sizeof event->locator, "bus %d device %d function %d", bus, device, function);
}

void SetTrapBytes(HistoryEntry* entry, const PetRecord* pet) {
  if (pet != nullptr) {
    const PetRecord& p = *pet;
    entry->sensorType = p[0];
    entry->eventReadingType = p[1];
    entry->pet3 = p[3];
    entry->pet4 = p[4];
    entry->eventData1 = uint8_t((p[2] & 0x0F) | (p[5] & 0x0F));
    entry->eventData2 = p[6];
    entry->eventData3 = p[7];
    return;
  }
  entry->sensorType = kDefaultSensorType;
  entry->eventReadingType = kDefaultEventReadingType;
  entry->pet3 = kDefaultPet3;
  entry->pet4 = 0;
  entry->eventData1 = kDefaultEventData1;
  entry->eventData2 = 0;
  entry->eventData3 = 0;
}

// Replaces the general text and trap bytes by those of (type, code). The generic set keeps the
// general ones for a code it has no entry for: "POST error" says more than nothing. Whether the
// code had an entry.
bool TakeSpecificEntry(DecodedEvent* event, uint8_t type, uint32_t code, const PetRecord** pet) {
  const PetRecord* specific = gEventTable.LookupPet(type, code);
  if (gGenericSetInUse && specific == nullptr) return false;
  SetText(event, gEventTable.LookupText(type, code));
  *pet = specific;
  return specific != nullptr;
}

uint32_t FirstLimitCode(ManagedDeviceKind kind) {
  switch (kind) {
    case ManagedDeviceKind::kVoltageProbe:
      return kFirstVoltageLimitCode;
    case ManagedDeviceKind::kTemperatureProbe:
      return kFirstTemperatureLimitCode;
    case ManagedDeviceKind::kCoolingDevice:
      break;
  }
  return kFirstFanLimitCode;
}

// A limit event naming its probe or cooling device by handle, with no text of its own, says
// which device, the way memory errors name their module: "System limit exceeded: CPU1 Temp".
// Its trap bytes are its own entry's when it has one (an administrator's), else its kind's.
void NameLimitDevice(DecodedEvent* event, uint32_t code, bool ownEntry, const PetRecord** pet) {
  if ((code & kLimitByHandleMask) != kLimitByHandle) return;
  ManagedDevice device;
  if (!FindManagedDevice(uint16_t(code), &device)) return;
  SetText(event, gEventTable.LookupText(smbios::logtype::kSystemLimitExceeded, kGeneralCode));
  if (event->entry.text[0] != '\0') AppendBoundedText(event->entry.text, sizeof event->entry.text, ": ");
  AppendBoundedText(event->entry.text, sizeof event->entry.text, device.name);
  event->locator[0] = '\0';
  AppendBoundedText(event->locator, sizeof event->locator, device.name);
  if (ownEntry) return;
  const PetRecord* kindPet = gEventTable.LookupPet(smbios::logtype::kSystemLimitExceeded, FirstLimitCode(device.kind));
  if (kindPet != nullptr) *pet = kindPet;
}

bool IsRecentOverTemperature(const HistoryEntry& entry, int32_t recordTime) {
  return entry.sensorType == kSensorTypeTemperature && entry.pet3 == kPetOverTemperature &&
         IsRecentRecordTime(recordTime, gNow());
}

}  // namespace

uint16_t MemoryLocatorKey(ModelIndex modelIndex, uint16_t handle) {
  switch (modelIndex) {
    case kModelKelvoA14x:
      // A140/A141 firmware logs the DIMM sockets by a handle range of their own.
      if (handle >= kA14xFirstSocketHandle && handle <= kA14xLastSocketHandle) {
        return uint16_t(kA14xFirstSocketKey + 2 * (handle - kA14xFirstSocketHandle));
      }
      return handle;
    case kModelKelvoC850:
      // The subtraction is done in 16 bits on purpose, wrapping modulo 0x10000: a value below
      // the bias becomes a handle the table does not have (0x0010 - 0x1700 = 0xE910), so such
      // an event simply gets no locator text.
      return uint16_t(handle - kC850HandleBias);
    default:
      return handle;
  }
}

bool DecodeEventRecord(const uint8_t* record, uint32_t length, DecodedEvent* event) {
  // A short record lends no bytes from whatever follows it: missing bytes count as zero.
  uint8_t bytes[kDecodedBytes] = {};
  std::memcpy(bytes, record, length < kDecodedBytes ? length : kDecodedBytes);
  const uint8_t type = bytes[0];
  const uint32_t firstWord = le::Load32(bytes + kFirstWordOffset);
  const uint32_t secondWord = le::Load32(bytes + kSecondWordOffset);

  event->entry = HistoryEntry{};
  event->locator[0] = '\0';
  const int32_t recordTime = RecordCalendarTime(bytes + smbios::kLogRecordTimeField);
  event->entry.time = recordTime == -1 ? 0 : recordTime;
  event->entry.recordType = kSystemEventRecordType;
  event->entry.generatorIdLow = kGeneratorId;
  event->entry.generatorIdHigh = 0;
  event->entry.evmRev = kEventMessageRevision;
  event->entry.sensorNumber = kNoSensorNumber;

  SetText(event, gEventTable.LookupText(type, kGeneralCode));
  const PetRecord* pet = gEventTable.LookupPet(type, kGeneralCode);

  switch (type) {
    case smbios::logtype::kPostMemoryResize:
      event->entry.generatorIdLow = kPostGeneratorId;
      event->entry.generatorIdHigh = 0;
      [[fallthrough]];
    case smbios::logtype::kSingleBitEcc:
    case smbios::logtype::kMultiBitEcc:
      AppendMemoryLocator(event, firstWord);
      break;
    case smbios::logtype::kPostError: {
      TakeSpecificEntry(event, type, PostErrorCode(firstWord, secondWord), &pet);
      break;
    }
    case smbios::logtype::kPciParity:
    case smbios::logtype::kPciSystem:
      AppendBusText(event, bytes);
      break;
    case smbios::logtype::kSystemLimitExceeded: {
      const bool ownEntry = TakeSpecificEntry(event, type, firstWord, &pet);
      if (gGenericSetInUse && gEventTable.LookupText(type, firstWord)[0] == '\0') {
        NameLimitDevice(event, firstWord, ownEntry, &pet);
      }
      break;
    }
    default:
      break;
  }

  // The module number and bus the record carries would be overwritten here anyway: the trap
  // bytes of the event table describe the event to management consoles, so they stand.
  SetTrapBytes(&event->entry, pet);
  return IsRecentOverTemperature(event->entry, recordTime);
}

uint32_t PostErrorCode(uint32_t firstWord, uint32_t secondWord) {
  uint32_t code = 0;
  uint32_t bits = firstWord;
  if (firstWord & kPostSecondWordValid) {
    bits = secondWord;
    code = kPostSecondWordBase;
  }
  if (bits != 0) code += LowestSetBit(bits);
  return code;
}

}  // namespace vigil
