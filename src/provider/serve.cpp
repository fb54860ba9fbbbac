#include "provider/serve.h"

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "provider/bytes.h"
#include "provider/log_answer.h"
#include "provider/sensor_answer.h"

namespace hwgate {

namespace {

bool ReadTable(PlatformSource& source, uint8_t* buffer, uint32_t outLength, uint32_t* returned) {
  if (outLength < vigil::kSmbiosTableSize) return false;
  const uint8_t* table = source.Table();
  if (table == nullptr) return false;
  CopyBytes(buffer, table, vigil::kSmbiosTableSize);
  *returned = vigil::kSmbiosTableSize;
  return true;
}

bool ReadLog(PlatformSource& source, uint8_t* buffer, uint32_t inLength, uint32_t outLength, uint32_t* returned) {
  if (inLength < vigil::kLogReadRequestSize || outLength < vigil::kLogReadRecordSize) return false;
  LogView log = {};
  if (!source.Log(&log)) return false;
  AnswerLogReadFrom(log.records, log.length, log.identity, buffer);
  source.LogDone();
  *returned = vigil::kLogReadRecordSize;
  return true;
}

// The command block: u16 code, u16 argument, then the response area answered in place.
bool DeviceCommand(PlatformSource& source, uint8_t* block, uint32_t inLength, uint32_t outLength,
                   uint32_t* returned) {
  if (inLength < vigil::kCommandResponseOffset || outLength < vigil::kCommandBlockSize) return false;
  switch (vigil::le::Load16(block + vigil::kCommandCodeOffset)) {
    case vigil::kCommandReadSensor: {
      SensorView sensor = {};
      if (!source.Sensor(vigil::le::Load16(block + vigil::kCommandArgumentOffset), &sensor)) return false;
      AnswerSensorRead(block + vigil::kCommandResponseOffset, sensor.structure, sensor.length,
                       sensor.structureType, sensor.status, sensor.raw);
      break;
    }
    case vigil::kCommandLogAlert:
      source.Alert();
      break;
    default:
      return false;
  }
  *returned = vigil::kCommandBlockSize;
  return true;
}

}  // namespace

bool Serve(PlatformSource& source, uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
           uint32_t* returned) {
  uint32_t ignored = 0;
  if (returned == nullptr) returned = &ignored;
  *returned = 0;
  switch (code) {
    case vigil::kIoctlReadSmbiosTable: return ReadTable(source, buffer, outLength, returned);
    case vigil::kIoctlReadEventLog: return ReadLog(source, buffer, inLength, outLength, returned);
    case vigil::kIoctlDeviceCommand: return DeviceCommand(source, buffer, inLength, outLength, returned);
    default: return false;
  }
}

}  // namespace hwgate
