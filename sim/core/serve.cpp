// The three device control codes and the run-time controls of the simulated platform.
#include <cstddef>

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "core/bytes.h"
#include "core/core.h"
#include "core/event_log.h"
#include "core/sensor_answer.h"

namespace hwsim {

namespace {

constexpr uint32_t kLogRequestSize = offsetof(vigil::LogReadRecord, data);
constexpr uint32_t kLogResponseSize = sizeof(vigil::LogReadRecord);
constexpr uint32_t kCommandHeaderSize = kCommandResponseOffset;  // code + argument

// Command 0x51: the response area mirrors the structure of the handle, with the current
// status byte and raw reading where the agent looks for them.
bool ReadSensor(Core& core, uint8_t* block) {
  const SensorSlot* slot = FindSensor(core, vigil::le::Load16(block + 2));
  if (slot == nullptr) return false;
  AnswerSensorRead(block + kCommandResponseOffset, core.smbios + slot->offset, slot->length,
                   slot->structureType, slot->status, slot->raw);
  ++core.stats.sensorReads;
  return true;
}

bool DeviceCommand(Core& core, uint8_t* block) {
  switch (vigil::le::Load16(block)) {
    case kCommandReadSensor:
      return ReadSensor(core, block);
    case kCommandLogAlert:
      ++core.stats.alerts;
      return true;
    default:
      return false;
  }
}

bool ServeCode(Core& core, uint32_t code, uint8_t* buffer, uint32_t inLength,
               uint32_t outLength, uint32_t* returned) {
  switch (code) {
    case kIoctlReadSmbiosTable:
      if (outLength < kSmbiosBufferSize || core.smbiosFails) return false;
      CopyBytes(buffer, core.smbios, kSmbiosBufferSize);
      ++core.stats.smbiosReads;
      *returned = kSmbiosBufferSize;
      return true;
    case kIoctlReadEventLog:
      if (inLength < kLogRequestSize || outLength < kLogResponseSize) return false;
      AnswerLogRead(core, buffer);
      ++core.stats.logExchanges;
      *returned = kLogResponseSize;
      return true;
    case kIoctlDeviceCommand:
      if (inLength < kCommandHeaderSize || outLength < kCommandBlockSize) return false;
      if (!DeviceCommand(core, buffer)) return false;
      *returned = kCommandBlockSize;
      return true;
    default:
      return false;
  }
}

}  // namespace

void ResetCore(Core& core) {
  FillBytes(reinterpret_cast<uint8_t*>(&core), 0, sizeof(Core));
  core.logCapacity = kMaxLogBytes;
}

bool Serve(Core& core, uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
           uint32_t* returned) {
  uint32_t ignored = 0;
  if (returned == nullptr) returned = &ignored;
  *returned = 0;
  if (core.failNext != 0 && (core.failCode == 0 || core.failCode == code)) {
    --core.failNext;
    ++core.stats.injectedFailures;
    return false;
  }
  if (!ServeCode(core, code, buffer, inLength, outLength, returned)) {
    ++core.stats.rejectedCalls;
    return false;
  }
  return true;
}

const SensorSlot* FindSensor(const Core& core, uint16_t handle) {
  for (uint32_t i = 0; i < core.sensorCount; ++i) {
    if (core.sensors[i].handle == handle) return &core.sensors[i];
  }
  return nullptr;
}

bool SetSensor(Core& core, uint16_t handle, uint16_t raw, uint8_t status) {
  SensorSlot* slot = const_cast<SensorSlot*>(FindSensor(core, handle));
  if (slot == nullptr) return false;
  slot->raw = raw;
  slot->status = status;
  return true;
}

void FailNext(Core& core, uint32_t count, uint32_t onlyCode) {
  core.failNext = count;
  core.failCode = onlyCode;
}

void SetMalformed(Core& core, Malformed kind) { core.malformed = kind; }

}  // namespace hwsim
