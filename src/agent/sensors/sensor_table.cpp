#include "agent/sensors/sensor_table.h"

#include <algorithm>
#include <cstring>

#include "agent/platform/managed_device.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "agent/sensors/sensor_definitions.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"
#include "smbios/known_models.h"

namespace vigil {

namespace {

constexpr uint8_t kProcessorLocation = 3;
constexpr uint8_t kLocationMask = 0x1F;

// Any local process may write the count, so it is bounded before it indexes anything.
std::size_t CurrentSensorCount() {
  return block::LoadU16(gBlock, block::kSensorCount);
}

// The handle table entry of the record about to be appended; a full table takes none.
void RememberHandle(uint16_t handle) {
  std::size_t index = CurrentSensorCount();
  if (index < block::kMaxSensors) gSensorHandles[index] = handle;
}

void AppendProbes(const ProbeRecord* probes, uint32_t count, std::size_t processorRow,
                  std::size_t otherRow) {
  std::size_t n = std::min<std::size_t>(count, kMaxProbes);
  for (std::size_t i = 0; i < n; ++i) {
    const ProbeRecord& probe = probes[i];
    bool processor = (probe.locationAndStatus & kLocationMask) == kProcessorLocation;
    RememberHandle(probe.handle);
    AppendSensor(processor ? processorRow : otherRow, probe.description);
  }
}

// A server the agent has no fan rules for, described by the generic set: every cooling device
// is a fan under the name its firmware gives it, or "Fan N" by its place.
void AppendNamedFan(const CoolingDeviceRecord& fan, std::size_t number) {
  static_assert(sensor::kNameSize == kInventoryTextSize, "a fan's name fills the record's name field");
  char name[sensor::kNameSize];
  CoolingDeviceName(fan, number, name);
  AppendSensor(kRowSystemFan1, name);
}

}  // namespace

int SelectFanRow(ModelIndex modelIndex, uint32_t oemDefined) {
  uint8_t low = static_cast<uint8_t>(oemDefined);
  switch (modelIndex) {
    case kModelUnidentified:
    case kModelKelvoA14x:
      if (low >= 1 && low <= 3) return static_cast<int>(kRowCpu1Fan + (low - 1));
      return kNoFanRow;
    case kModelKelvoB720:
      // The B720 firmware tags each fan with a whole word; a stray low byte means nothing.
      switch (oemDefined) {
        case KelvoB720FanWord(1): return kRowCpu1Fan;
        case KelvoB720FanWord(2): return kRowCpu2Fan;
        case KelvoB720FanWord(3): return kRowFrontFan;
        case KelvoB720FanWord(4): return kRowRearFan;
        default: return kNoFanRow;
      }
    case kModelKelvoC850:
      if (low >= 1 && low <= 4) return static_cast<int>(kRowCpuFan1 + (low - 1));
      if (low >= 5 && low <= 8) return static_cast<int>(kRowSystemFan1 + (low - 5));
      return kNoFanRow;
    default:
      return kUnknownFanModel;
  }
}

void AppendSensor(std::size_t row, const char* name) {
  if (row >= kSensorDefinitionCount) return;
  std::size_t index = CurrentSensorCount();
  if (index >= block::kMaxSensors) return;
  // The count grows before the record is filled, as readers of a growing table expect.
  block::StoreU16(gBlock, block::kSensorCount, static_cast<uint16_t>(index + 1));

  const SensorDefinition& def = kSensorDefinitions[row];
  uint8_t* record = gBlock + block::SensorRecordOffset(index);
  std::memset(record, 0, block::kSensorRecordSize);
  record[sensor::kOwnerId] = def[sdr::kOwnerId];
  record[sensor::kOwnerLun] = def[sdr::kOwnerLun];
  record[sensor::kSensorNumber] = def[sdr::kSensorNumber];
  record[sensor::kEntityId] = def[sdr::kEntityId];
  record[sensor::kEntityInstance] = def[sdr::kEntityInstance];
  record[sensor::kCapabilities] = def[sdr::kCapabilities];
  record[sensor::kSensorType] = def[sdr::kSensorType];
  record[sensor::kEventReadingType] = def[sdr::kEventReadingType];
  std::memcpy(record + sensor::kReadingMask, def.data() + sdr::kReadingMask, 2);
  block::StoreU16(record, sensor::kFixedFFFF, 0xFFFF);
  record[sensor::kFixed3] = 3;
  if (def[sdr::kRecordType] == sdr::kFullRecord) {
    const void* source = name != nullptr ? static_cast<const void*>(name) : def.data() + sdr::kFullName;
    std::memcpy(record + sensor::kName, source, sensor::kNameSize);
  }
}

int BuildSensorTable() {
  block::StoreU16(gBlock, block::kSensorCount, 0);
  block::StoreU16(gBlock, block::kSensorSpare42, 0);
  block::StoreU16(gBlock, block::kSensorSpare44, 0);
  block::StoreU16(gBlock, block::kSensorSpare48, 0);

  AppendProbes(gInventory.temperatureProbes, gInventory.temperatureProbeCount,
               kRowCpuTemperature, kRowBoardTemperature);
  AppendProbes(gInventory.voltageProbes, gInventory.voltageProbeCount, kRowCpuVoltage,
               kRowOtherVoltage);

  std::size_t fans = std::min<std::size_t>(gInventory.coolingDeviceCount, kMaxCoolingDevices);
  for (std::size_t i = 0; i < fans; ++i) {
    const CoolingDeviceRecord& fan = gInventory.coolingDevices[i];
    RememberHandle(fan.handle);
    if (gGenericSetInUse) {
      AppendNamedFan(fan, i + 1);
      continue;
    }
    int row = SelectFanRow(gModelIndex, fan.oemDefined);
    if (row == kUnknownFanModel) return -1;
    if (row != kNoFanRow) AppendSensor(static_cast<std::size_t>(row), nullptr);
  }

  for (std::size_t row = kRowFirstDiscrete; row < kSensorDefinitionCount; ++row) {
    AppendSensor(row, nullptr);
  }
  return 0;
}

}  // namespace vigil
