#include "agent/eventlog/event_decoder.h"

#include <cstdio>
#include <cstring>

#include "agent/eventlog/bounded_text.h"
#include "agent/eventlog/record_time.h"
#include "agent/eventlog/test_log.h"
#include "agent/eventtables/event_table.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "agent/shutdown/system_shutdown.h"
#include "os/os.h"

namespace vigil {

namespace {

std::time_t SystemNow() { return std::time(nullptr); }

// Record bytes the decoder reads: header, BCD time and two words of variable data.
constexpr uint32_t kDecodedBytes = 16;
constexpr uint32_t kGeneralCode = kGeneralEventCode;

constexpr uint8_t kTypeSingleBitEcc = 1;
constexpr uint8_t kTypeMultiBitEcc = 2;
constexpr uint8_t kTypePostMemoryResize = 7;
constexpr uint8_t kTypePostError = 8;
constexpr uint8_t kTypePciParity = 9;
constexpr uint8_t kTypePciSystem = 10;
constexpr uint8_t kTypeSystemLimit = 16;

constexpr uint32_t kPostSecondWordValid = 0x01000000u;
constexpr uint32_t kPostSecondWordBase = 256;

constexpr uint8_t kSensorTypeTemperature = 1;
constexpr uint8_t kPetOverTemperature = 3;

uint32_t Word(const uint8_t* bytes, std::size_t offset) {
  return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
         uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24;
}

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
  event->text[0] = '\0';
  AppendBoundedText(event->text, sizeof event->text, text);
}

void AppendMemoryLocator(DecodedEvent* event, uint32_t firstWord) {
  auto found = gMemoryDeviceMap.find(MemoryLocatorKey(gModelIndex, uint16_t(firstWord)));
  if (found != gMemoryDeviceMap.end()) {
    AppendBoundedText(event->text, sizeof event->text, found->second.c_str());
    AppendBoundedText(event->locator, sizeof event->locator, found->second.c_str());
  }
}

void AppendBusText(DecodedEvent* event, const uint8_t* bytes) {
  if (bytes[8] == 0) return;
  char busText[64];
  std::snprintf(busText, sizeof busText, "-bus no.%1d device no.%1d function no.%1d",
                int(bytes[10]), int(bytes[9] >> 3), int(bytes[9] & 7));
  AppendBoundedText(event->text, sizeof event->text, busText);
  std::snprintf(event->locator, sizeof event->locator, "bus %d device %d function %d", int(bytes[10]),
                int(bytes[9] >> 3), int(bytes[9] & 7));
}

void SetTrapBytes(DecodedEvent* event, const PetRecord* pet) {
  if (pet != nullptr) {
    const PetRecord& p = *pet;
    event->sensorType = p[0];
    event->eventReadingType = p[1];
    event->pet3 = p[3];
    event->pet4 = p[4];
    event->eventData1 = uint8_t((p[2] & 0x0F) | (p[5] & 0x0F));
    event->eventData2 = p[6];
    event->eventData3 = p[7];
    return;
  }
  event->sensorType = 0x12;
  event->eventReadingType = 0x6F;
  event->pet3 = 0x22;
  event->pet4 = 0;
  event->eventData1 = 1;
  event->eventData2 = 0;
  event->eventData3 = 0;
}

void CheckOverTemperature(const DecodedEvent& event) {
  if (event.sensorType != kSensorTypeTemperature || event.pet3 != kPetOverTemperature) return;
  if (!IsRecentRecordTime(event.time, gNow())) return;
  if (gTestLog.IsActive()) {
    // A tester replaying a log must know that the next step may power the machine off.
    os::MessageBox("test_log.csv work, system will shutdown", "Shutdown", os::kMbOk);
  }
  gOverTempMarker = kOverTempMarkerSet;
}

}  // namespace

std::time_t (*gNow)() = SystemNow;

uint16_t MemoryLocatorKey(ModelIndex modelIndex, uint16_t handle) {
  switch (modelIndex) {
    case kModelKelvoA14x:
      // A140/A141 firmware logs the DIMM sockets by a handle range of their own.
      if (handle >= 256 && handle <= 259) return uint16_t(31 + 2 * (handle - 256));
      return handle;
    case kModelKelvoC850:
      // C850 firmware logs a memory device as its SMBIOS handle plus 0x1700 (5888). The
      // subtraction stays 16-bit on purpose: a value below 0x1700 wraps to a handle the table
      // does not have, so such an event simply gets no locator text.
      return uint16_t(handle - 0x1700);
    default:
      return handle;
  }
}

void DecodeEventRecord(const uint8_t* record, uint32_t length, DecodedEvent* event) {
  // A short record lends no bytes from whatever follows it: missing bytes count as zero.
  uint8_t bytes[kDecodedBytes] = {};
  std::memcpy(bytes, record, length < kDecodedBytes ? length : kDecodedBytes);
  const uint8_t type = bytes[0];
  const uint32_t firstWord = Word(bytes, 8);
  const uint32_t secondWord = Word(bytes, 12);

  event->locator[0] = '\0';
  event->time = RecordCalendarTime(bytes + 2);
  event->recordType = 2;
  event->generatorIdLow = 33;
  event->generatorIdHigh = 0;
  event->evmRev = 3;
  event->sensorNumber = 255;

  SetText(event, gEventTable.LookupText(type, kGeneralCode));
  const PetRecord* pet = gEventTable.LookupPet(type, kGeneralCode);

  switch (type) {
    case kTypePostMemoryResize:
      event->generatorIdLow = 1;
      event->generatorIdHigh = 0;
      [[fallthrough]];
    case kTypeSingleBitEcc:
    case kTypeMultiBitEcc:
      AppendMemoryLocator(event, firstWord);
      break;
    case kTypePostError: {
      const uint32_t code = PostErrorCode(firstWord, secondWord);
      SetText(event, gEventTable.LookupText(type, code));
      pet = gEventTable.LookupPet(type, code);
      break;
    }
    case kTypePciParity:
    case kTypePciSystem:
      AppendBusText(event, bytes);
      break;
    case kTypeSystemLimit:
      SetText(event, gEventTable.LookupText(type, firstWord));
      pet = gEventTable.LookupPet(type, firstWord);
      break;
    default:
      break;
  }

  // The module number and bus the record carries would be overwritten here anyway: the trap
  // bytes of the event table describe the event to management consoles, so they stand.
  SetTrapBytes(event, pet);
  CheckOverTemperature(*event);
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
