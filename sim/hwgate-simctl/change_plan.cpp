#include "change_plan.h"

#include <cstddef>
#include <cstring>

#include "contract/le_bytes.h"
#include "control/control_codes.h"

namespace hwsim::control {

namespace {

std::vector<uint8_t> U32(uint32_t value) {
  std::vector<uint8_t> bytes(4);
  vigil::le::Store32(bytes.data(), value);
  return bytes;
}

bool SameSlotShape(const SensorSlot& a, const SensorSlot& b) {
  return a.handle == b.handle && a.structureType == b.structureType && a.offset == b.offset &&
         a.length == b.length;
}

bool SameTable(const Core& a, const Core& b) {
  if (a.smbiosFails != b.smbiosFails || a.logCapacity != b.logCapacity ||
      a.sensorCount != b.sensorCount || std::memcmp(a.smbios, b.smbios, sizeof(a.smbios)) != 0) {
    return false;
  }
  for (uint32_t i = 0; i < a.sensorCount; ++i) {
    if (!SameSlotShape(a.sensors[i], b.sensors[i])) return false;
  }
  return true;
}

// `after`'s records from `from` on, one request each.
void AddRecords(const Core& after, uint32_t from, std::vector<Request>* plan) {
  for (uint32_t at = from; at < after.logLength;) {
    uint32_t length = vigil::LogRecordLength(after.log + at);
    plan->push_back({kIoctlAppendRecord, std::vector<uint8_t>(after.log + at, after.log + at + length)});
    at += length;
  }
}

void AddSensor(const SensorSlot& slot, std::vector<Request>* plan) {
  SensorUpdate update = {slot.handle, slot.raw, slot.status};
  const auto* bytes = reinterpret_cast<const uint8_t*>(&update);
  plan->push_back({kIoctlSetSensor, std::vector<uint8_t>(bytes, bytes + sizeof(update))});
}

// Fault settings that differ from what the driver holds.
void AddFaults(uint32_t failNext, uint32_t failCode, Malformed malformed, const Core& after,
               std::vector<Request>* plan) {
  if (after.failNext != failNext || after.failCode != failCode) {
    std::vector<uint8_t> input(sizeof(FailRequest));
    vigil::le::Store32(input.data() + offsetof(FailRequest, count), after.failNext);
    vigil::le::Store32(input.data() + offsetof(FailRequest, onlyCode), after.failCode);
    plan->push_back({kIoctlFailNext, input});
  }
  if (after.malformed != malformed) {
    plan->push_back({kIoctlMalformed, U32(static_cast<uint32_t>(after.malformed))});
  }
}

bool LogGrewAtEnd(const Core& before, const Core& after) {
  return before.firstRecordTime == after.firstRecordTime && before.logLength <= after.logLength &&
         std::memcmp(before.log, after.log, before.logLength) == 0;
}

}  // namespace

std::vector<uint8_t> TableImageOf(const Core& core) {
  TableImage image = {};
  image.sensorCount = core.sensorCount;
  image.logCapacity = core.logCapacity;
  image.smbiosFails = core.smbiosFails ? 1 : 0;
  std::memcpy(image.sensors, core.sensors, sizeof(image.sensors));
  std::memcpy(image.smbios, core.smbios, sizeof(image.smbios));
  const auto* bytes = reinterpret_cast<const uint8_t*>(&image);
  return std::vector<uint8_t>(bytes, bytes + sizeof(image));
}

std::vector<Request> PlanChanges(const Core& before, const Core& after) {
  std::vector<Request> plan;
  if (!SameTable(before, after)) {
    plan.push_back({kIoctlReset, {}});
    plan.push_back({kIoctlLoadTable, TableImageOf(after)});
    plan.push_back({kIoctlClearLog, U32(after.firstRecordTime)});
    AddRecords(after, 0, &plan);
    AddFaults(0, 0, Malformed::kNone, after, &plan);
    return plan;
  }
  if (LogGrewAtEnd(before, after)) {
    AddRecords(after, before.logLength, &plan);
  } else {
    plan.push_back({kIoctlClearLog, U32(after.firstRecordTime)});
    AddRecords(after, 0, &plan);
  }
  for (uint32_t i = 0; i < after.sensorCount; ++i) {
    const SensorSlot& was = before.sensors[i];
    const SensorSlot& is = after.sensors[i];
    if (was.raw != is.raw || was.status != is.status) AddSensor(is, &plan);
  }
  AddFaults(before.failNext, before.failCode, before.malformed, after, &plan);
  return plan;
}

bool PlausibleSnapshot(const Core& core) {
  if (core.sensorCount > kMaxSensors || core.logCapacity > kMaxLogBytes ||
      core.logLength > core.logCapacity) {
    return false;
  }
  for (uint32_t at = 0; at < core.logLength;) {
    uint32_t length = vigil::LogRecordLength(core.log + at);
    if (length < kMinRecordLength || length > core.logLength - at) return false;
    at += length;
  }
  return true;
}

}  // namespace hwsim::control
