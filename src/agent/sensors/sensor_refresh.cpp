#include "agent/sensors/sensor_refresh.h"

#include <algorithm>

#include "agent/platform/driver_channel.h"
#include "agent/sensors/sensor_conversion.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil {
namespace {

// Response fields, as command block offsets (response area + SMBIOS structure offset).
constexpr std::size_t kProbeStatus = kCommandResponseOffset + kProbeStatusByte;
constexpr std::size_t kFanStatus = kCommandResponseOffset + kCoolingStatusByte;
constexpr std::size_t kFanRaw = kCommandResponseOffset + kCoolingRawWord;
constexpr std::size_t kProbeRaw = kCommandResponseOffset + kProbeRawWord;
static_assert(kProbeRaw + 2 <= kCommandBlockSize);

// Sends command 0x51 for the handle behind record `index`. True when the driver answered.
bool QuerySensor(std::size_t index) {
  if (index >= block::kMaxSensors) return false;
  block::StoreU16(gSensorCommand, kCommandCodeOffset, kCommandReadSensor);
  block::StoreU16(gSensorCommand, kCommandArgumentOffset, gSensorHandles[index]);
  return DeviceCommand(gSensorCommand) == 0;
}

void StoreReading(uint8_t* record, float reading, uint8_t status) {
  // Reading first: a client that sees a new state also sees the reading it belongs to.
  block::StoreF32(record, sensor::kReading, reading);
  block::StoreU16(record, sensor::kState, StateFromStatus(status));
}

std::size_t BoundedSensorCount() {
  return std::min<std::size_t>(block::LoadU16(gBlock, block::kSensorCount), block::kMaxSensors);
}

// The driver gave no answer: the last reading stays, but its state says it is not current, so
// that a client does not take it for a fresh one.
void MarkUnread(uint8_t* record) { block::StoreU16(record, sensor::kState, kStateUnknown); }

}  // namespace

void ReadTemperature(uint8_t* record, std::size_t index) {
  if (!QuerySensor(index)) return MarkUnread(record);
  StoreReading(record, ConvertTemperature(block::LoadU16(gSensorCommand, kProbeRaw)),
               gSensorCommand[kProbeStatus]);
}

void ReadVoltage(uint8_t* record, std::size_t index) {
  if (!QuerySensor(index)) return MarkUnread(record);
  StoreReading(record, ConvertVoltage(block::LoadU16(gSensorCommand, kProbeRaw)),
               gSensorCommand[kProbeStatus]);
}

void ReadFan(uint8_t* record, std::size_t index) {
  if (!QuerySensor(index)) return MarkUnread(record);
  StoreReading(record, ConvertFan(block::LoadU16(gSensorCommand, kFanRaw)),
               gSensorCommand[kFanStatus]);
}

void RefreshSensor(uint8_t* record, std::size_t index) {
  // Read per record: a client may change its mind in the middle of a walk.
  if (!SensorReadBy(record, block::LoadS32(gBlock, block::kRequestCode))) return;
  switch (record[sensor::kSensorType]) {
    case sensor::kTypeTemperature: ReadTemperature(record, index); break;
    case sensor::kTypeVoltage: ReadVoltage(record, index); break;
    case sensor::kTypeFan: ReadFan(record, index); break;
    default: break;
  }
}

void RefreshSensors() {
  // The count lives in the block, which any local process may write: bounded on every pass.
  for (std::size_t i = 0; i < BoundedSensorCount(); ++i) {
    uint8_t* record = gBlock + block::SensorRecordOffset(i);
    if (SensorRefreshable(record)) RefreshSensor(record, i);
  }
}

}  // namespace vigil
