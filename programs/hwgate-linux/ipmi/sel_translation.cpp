#include "ipmi/sel_translation.h"

#include <time.h>

#include "ipmi/ipmi_codes.h"
#include "ipmi/sensor_key.h"
#include "ipmi/smbios_log_record.h"

namespace hwlinux::ipmi {

namespace {

constexpr uint8_t kEventTypeSensorSpecific = 0x6F;
constexpr uint8_t kDeassertion = 0x80;
// Event data 1: bits 7-6 say what event data 2 holds, bits 5-4 what event data 3 holds;
// 11b is a sensor-specific extension code, the form that carries a DIMM number or a PCI
// location. The low nibble is the event offset.
constexpr uint8_t kDataIsExtension = 0x3;

enum class VarData { kNone, kMemoryHandle, kPciLocation, kPostBitmap };

struct Counterpart {
  uint8_t sensorType;
  uint8_t offset;
  uint8_t logType;
  VarData data;
};

// Sensor-specific events with an SMBIOS counterpart. A boot or restart sensor's every offset
// is a kind of system boot, so it is matched for all offsets below.
constexpr Counterpart kCounterparts[] = {
    {kSensorTypeMemory, 0x00, logtype::kSingleBitEcc, VarData::kMemoryHandle},
    {kSensorTypeMemory, 0x01, logtype::kMultiBitEcc, VarData::kMemoryHandle},
    {kSensorTypeMemory, 0x02, logtype::kParityMemory, VarData::kNone},
    // "Memory device disabled": the firmware took the module out of use.
    {kSensorTypeMemory, 0x04, logtype::kPostMemoryResize, VarData::kMemoryHandle},
    {kSensorTypeMemory, 0x05, logtype::kCorrectableMemoryLogDisabled, VarData::kNone},
    {kSensorTypeFirmwareProgress, 0x00, logtype::kPostError, VarData::kPostBitmap},
    {kSensorTypeEventLogging, 0x00, logtype::kCorrectableMemoryLogDisabled, VarData::kNone},
    {kSensorTypeEventLogging, 0x01, logtype::kLoggingDisabledForType, VarData::kNone},
    {kSensorTypeEventLogging, 0x02, logtype::kLogAreaCleared, VarData::kNone},
    {kSensorTypeSystemEvent, 0x00, logtype::kSystemReconfigured, VarData::kNone},
    {kSensorTypeSystemEvent, 0x01, logtype::kSystemBoot, VarData::kNone},
    {kSensorTypeCriticalInterrupt, 0x01, logtype::kBusTimeout, VarData::kNone},
    {kSensorTypeCriticalInterrupt, 0x02, logtype::kIoChannelCheck, VarData::kNone},
    {kSensorTypeCriticalInterrupt, 0x03, logtype::kSoftwareNmi, VarData::kNone},
    {kSensorTypeCriticalInterrupt, 0x04, logtype::kPciParity, VarData::kPciLocation},
    {kSensorTypeCriticalInterrupt, 0x05, logtype::kPciSystem, VarData::kPciLocation},
    // FRB1 (BIST), FRB2 (hang in POST), FRB3 (start-up failure): the CPU failed at POST.
    {kSensorTypeProcessor, 0x02, logtype::kCpuFailure, VarData::kNone},
    {kSensorTypeProcessor, 0x03, logtype::kCpuFailure, VarData::kNone},
    {kSensorTypeProcessor, 0x04, logtype::kCpuFailure, VarData::kNone},
    {kSensorTypeProcessor, 0x06, logtype::kUncorrectableCpuComplex, VarData::kNone},
    // Watchdog timer expired and reset the system.
    {kSensorTypeWatchdog2, 0x01, logtype::kHardwareTimerReset, VarData::kNone},
};

// System firmware error codes (event data 2) that name a POST results bit: {code, word, bit}.
struct PostBit {
  uint8_t code;
  uint8_t word;
  uint8_t bit;
};
constexpr PostBit kPostBits[] = {
    {0x05, 0, 16},  // diskette subsystem failure: floppy controller failure
    {0x07, 0, 9},   // keyboard failure: keyboard not functional
    {0x08, 1, 22},  // removable boot media not found: primary boot device not found
    {0x0A, 1, 20},  // no video device: primary output device not found
};

// Threshold offsets that report a reading leaving its range: going low past a lower
// threshold, going high past an upper one. The others are the way back.
bool IsOutwardCrossing(uint8_t offset) {
  return offset == 0x00 || offset == 0x02 || offset == 0x04 || offset == 0x07 ||
         offset == 0x09 || offset == 0x0B;
}

uint8_t Bcd(int value) { return uint8_t((value / 10) << 4 | value % 10); }

void AppendHeader(uint8_t type, uint32_t dataSize, uint32_t timeStamp, std::vector<uint8_t>* out) {
  out->push_back(type);
  out->push_back(uint8_t(kLogHeaderSize + dataSize));
  uint8_t bcd[kLogTimeSize];
  BcdLocalTime(timeStamp, bcd);
  out->insert(out->end(), bcd, bcd + kLogTimeSize);
}

void AppendWord(uint32_t value, std::vector<uint8_t>* out) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(value >> (8 * i)));
}

uint16_t MemoryHandle(const uint8_t* sel, const HandleLookup& handles) {
  if ((sel[kSelEventData1At] >> 4 & 0x3) != kDataIsExtension) return kUnknownHandle;
  const int handle = handles.MemoryDeviceHandle(sel[kSelEventData3At]);
  return handle < 0 || handle > 0xFFFF ? kUnknownHandle : uint16_t(handle);
}

const PostBit* FindPostBit(const uint8_t* sel) {
  if ((sel[kSelEventData1At] >> 6 & 0x3) != kDataIsExtension) return nullptr;
  for (const PostBit& bit : kPostBits) {
    if (bit.code == sel[kSelEventData2At]) return &bit;
  }
  return nullptr;
}

bool AppendCounterpart(const Counterpart& c, const uint8_t* sel, uint32_t timeStamp,
                       const HandleLookup& handles, std::vector<uint8_t>* out) {
  switch (c.data) {
    case VarData::kNone:
      AppendHeader(c.logType, 0, timeStamp, out);
      return true;
    case VarData::kMemoryHandle: {
      const uint16_t handle = MemoryHandle(sel, handles);
      AppendHeader(c.logType, kHandleDataSize, timeStamp, out);
      out->push_back(uint8_t(handle));
      out->push_back(uint8_t(handle >> 8));
      return true;
    }
    case VarData::kPciLocation: {
      // Bus in event data 2, device/function in event data 3, when both are given.
      const uint8_t d1 = sel[kSelEventData1At];
      const bool known = (d1 >> 6 & 0x3) == kDataIsExtension && (d1 >> 4 & 0x3) == kDataIsExtension;
      AppendHeader(c.logType, kPciDataSize, timeStamp, out);
      out->push_back(known ? 1 : 0);
      out->push_back(known ? sel[kSelEventData3At] : 0);
      out->push_back(known ? sel[kSelEventData2At] : 0);
      return true;
    }
    case VarData::kPostBitmap: {
      // A firmware error without a POST results bit would name some other error: skipped.
      const PostBit* bit = FindPostBit(sel);
      if (bit == nullptr) return false;
      const uint32_t first = bit->word == 0 ? 1u << bit->bit : kPostSecondWordValid;
      const uint32_t second = bit->word == 1 ? 1u << bit->bit : 0;
      AppendHeader(c.logType, kPostBitmapDataSize, timeStamp, out);
      AppendWord(first, out);
      AppendWord(second, out);
      return true;
    }
  }
  return false;
}

bool AppendLimitExceeded(const uint8_t* sel, uint32_t timeStamp, const HandleLookup& handles,
                         std::vector<uint8_t>* out) {
  const uint8_t type = sel[kSelSensorTypeAt];
  if (type != kSensorTypeTemperature && type != kSensorTypeVoltage && type != kSensorTypeFan) {
    return false;
  }
  if (!IsOutwardCrossing(sel[kSelEventData1At] & 0x0F)) return false;
  const uint32_t key = SensorKey(sel[kSelGeneratorAt], sel[kSelGeneratorAt + 1],
                                 sel[kSelSensorNumberAt]);
  const int handle = handles.ProbeHandle(kIpmiOrigin, key);
  const uint16_t probe = handle < 0 || handle > 0xFFFF ? kUnknownHandle : uint16_t(handle);
  AppendHeader(logtype::kSystemLimitExceeded, kSystemManagementDataSize, timeStamp, out);
  AppendWord(kProbeOutOfRange | probe, out);
  return true;
}

}  // namespace

void BcdLocalTime(uint32_t seconds, uint8_t* bcd) {
  const time_t when = static_cast<time_t>(seconds);
  struct tm local {};
  if (localtime_r(&when, &local) == nullptr) local = tm{};
  bcd[0] = Bcd(local.tm_year % 100);
  bcd[1] = Bcd(local.tm_mon + 1);
  bcd[2] = Bcd(local.tm_mday);
  bcd[3] = Bcd(local.tm_hour);
  bcd[4] = Bcd(local.tm_min);
  bcd[5] = Bcd(local.tm_sec > 59 ? 59 : local.tm_sec);
}

bool TranslateSelRecord(const uint8_t* sel, uint32_t timeStamp, const HandleLookup& handles,
                        std::vector<uint8_t>* out) {
  if (sel[kSelRecordTypeAt] != kSelRecordTypeSystem) return false;  // OEM records
  const uint8_t eventType = sel[kSelEventTypeAt];
  if (eventType & kDeassertion) return false;  // the condition went away
  if (eventType == kEventReadingThreshold) {
    return AppendLimitExceeded(sel, timeStamp, handles, out);
  }
  if (eventType != kEventTypeSensorSpecific) return false;
  const uint8_t sensorType = sel[kSelSensorTypeAt];
  const uint8_t offset = sel[kSelEventData1At] & 0x0F;
  if (sensorType == kSensorTypeSystemBoot) {
    AppendHeader(logtype::kSystemBoot, 0, timeStamp, out);
    return true;
  }
  for (const Counterpart& c : kCounterparts) {
    if (c.sensorType == sensorType && c.offset == offset) {
      return AppendCounterpart(c, sel, timeStamp, handles, out);
    }
  }
  return false;
}

}  // namespace hwlinux::ipmi
