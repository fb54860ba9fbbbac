#include "control/device_control.h"

#include <cstddef>

#include "contract/le_bytes.h"
#include "control/control_codes.h"
#include "provider/bytes.h"
#include "core/event_log.h"

namespace hwsim::control {

namespace {

constexpr uint32_t kMethodMask = 3;  // METHOD_BUFFERED is 0

bool IsSensorType(uint8_t type) {
  return type == vigil::smbios::kTypeVoltageProbe || type == vigil::smbios::kTypeTemperatureProbe || type == vigil::smbios::kTypeCoolingDevice;
}

// A slot is read back through its offset and length (command 0x51), so both must stay inside
// the table's data area.
bool SlotFits(const SensorSlot& slot) {
  return IsSensorType(slot.structureType) && slot.offset >= vigil::kSmbiosDataArea &&
         static_cast<uint32_t>(slot.offset) + slot.length <= vigil::kSmbiosTableSize;
}

Outcome LoadTable(Core& core, const uint8_t* input) {
  // The image may be unaligned for its fields only in theory (pool buffers are aligned), but
  // copying it out first costs nothing and needs no such assumption.
  static TableImage image;  // too large for a kernel stack; calls are serialised
  hwgate::CopyBytes(reinterpret_cast<uint8_t*>(&image), input, sizeof(TableImage));
  if (image.sensorCount > kMaxSensors || image.smbiosFails > 1) return Outcome::kBadInput;
  if (image.logCapacity > kMaxLogBytes || image.logCapacity < core.logLength) return Outcome::kBadInput;
  for (uint32_t i = 0; i < image.sensorCount; ++i) {
    if (!SlotFits(image.sensors[i])) return Outcome::kBadInput;
  }
  hwgate::CopyBytes(core.smbios, image.smbios, vigil::kSmbiosTableSize);
  hwgate::CopyBytes(reinterpret_cast<uint8_t*>(core.sensors), reinterpret_cast<const uint8_t*>(image.sensors),
            sizeof(core.sensors));
  core.sensorCount = image.sensorCount;
  core.logCapacity = image.logCapacity;
  core.smbiosFails = image.smbiosFails != 0;
  return Outcome::kOk;
}

Outcome AppendRecord(Core& core, const uint8_t* input, uint32_t inLength, uint8_t* output,
                     uint32_t outLength, uint32_t* returned) {
  if (outLength != 0 && outLength < 4) return Outcome::kBadLength;
  if (inLength < kMinRecordLength || inLength > kMaxRecordLength) return Outcome::kBadLength;
  uint32_t position = core.logLength;
  if (AppendLogRecord(core, input, inLength) != AppendResult::kOk) return Outcome::kBadInput;
  if (outLength != 0) {
    vigil::le::Store32(output, position);
    *returned = 4;
  }
  return Outcome::kOk;
}

Outcome SetSensorFrom(Core& core, const uint8_t* input) {
  SensorUpdate update;
  hwgate::CopyBytes(reinterpret_cast<uint8_t*>(&update), input, sizeof(update));
  return SetSensor(core, update.handle, update.raw, update.status) ? Outcome::kOk : Outcome::kBadInput;
}

Outcome SetMalformed(Core& core, uint32_t kind) {
  if (kind > static_cast<uint32_t>(Malformed::kOverrun)) return Outcome::kBadInput;
  SetMalformed(core, static_cast<Malformed>(kind));
  return Outcome::kOk;
}

// The private codes; lengths are checked before a byte of the buffer is read.
Outcome HandlePrivate(Core& core, uint32_t code, uint8_t* buffer, uint32_t inLength,
                      uint32_t outLength, uint32_t* returned) {
  const bool noOutput = outLength == 0;
  switch (code) {
    case kIoctlReset:
      if (inLength != 0 || !noOutput) return Outcome::kBadLength;
      ResetCore(core);
      return Outcome::kOk;
    case kIoctlLoadTable:
      if (inLength != sizeof(TableImage) || !noOutput) return Outcome::kBadLength;
      return LoadTable(core, buffer);
    case kIoctlClearLog:
      if (inLength != 4 || !noOutput) return Outcome::kBadLength;
      ClearLog(core, vigil::le::Load32(buffer));
      return Outcome::kOk;
    case kIoctlAppendRecord:
      return AppendRecord(core, buffer, inLength, buffer, outLength, returned);
    case kIoctlSetSensor:
      if (inLength != sizeof(SensorUpdate) || !noOutput) return Outcome::kBadLength;
      return SetSensorFrom(core, buffer);
    case kIoctlFailNext:
      if (inLength != sizeof(FailRequest) || !noOutput) return Outcome::kBadLength;
      FailNext(core, vigil::le::Load32(buffer + offsetof(FailRequest, count)),
               vigil::le::Load32(buffer + offsetof(FailRequest, onlyCode)));
      return Outcome::kOk;
    case kIoctlMalformed:
      if (inLength != 4 || !noOutput) return Outcome::kBadLength;
      return SetMalformed(core, vigil::le::Load32(buffer));
    case kIoctlSnapshot:
      if (inLength != 0 || outLength < sizeof(Core)) return Outcome::kBadLength;
      hwgate::CopyBytes(buffer, reinterpret_cast<const uint8_t*>(&core), sizeof(Core));
      *returned = sizeof(Core);
      return Outcome::kOk;
    default:
      return Outcome::kUnknownCode;
  }
}

bool IsPrivateCode(uint32_t code) { return code >= kIoctlReset && code <= kIoctlSnapshot; }

}  // namespace

Outcome HandleDeviceControl(Core& core, uint32_t code, uint8_t* buffer, uint32_t inLength,
                            uint32_t outLength, uint32_t* returned) {
  uint32_t ignored = 0;
  if (returned == nullptr) returned = &ignored;
  *returned = 0;
  // Only METHOD_BUFFERED codes bring a system buffer; any other kind would hand us user
  // addresses, which this driver never touches.
  if ((code & kMethodMask) != 0) return Outcome::kUnknownCode;
  const uint32_t room = inLength > outLength ? inLength : outLength;
  if (buffer == nullptr && room != 0) return Outcome::kBadLength;
  // The system buffer past the input is whatever the pool held; the core expects zeros.
  if (room > inLength) hwgate::FillBytes(buffer + inLength, 0, room - inLength);

  // Everything that is not ours goes to the core, which counts and refuses what it does not
  // know, exactly as the Linux daemon's core does.
  Outcome outcome;
  if (IsPrivateCode(code)) {
    outcome = HandlePrivate(core, code, buffer, inLength, outLength, returned);
  } else {
    outcome = Serve(core, code, buffer, inLength, outLength, returned) ? Outcome::kOk : Outcome::kRefused;
  }
  if (outcome != Outcome::kOk || *returned > outLength) *returned = 0;
  return outcome;
}

}  // namespace hwsim::control
