// The simulated platform as a PlatformSource, its faults around the provider's answers, and
// the run-time controls.
#include "contract/driver_protocol.h"
#include "core/core.h"
#include "core/event_log.h"
#include "provider/bytes.h"
#include "provider/platform_source.h"
#include "provider/serve.h"

namespace hwsim {

namespace {

// The core seen as a platform, counting what it answers.
class CoreSource final : public hwgate::PlatformSource {
 public:
  explicit CoreSource(Core& core) : core_(core) {}

  const uint8_t* Table() override {
    if (core_.smbiosFails) return nullptr;
    ++core_.stats.smbiosReads;
    return core_.smbios;
  }

  bool Log(hwgate::LogView* out) override {
    *out = {core_.log, core_.logLength, core_.firstRecordTime};
    ++core_.stats.logExchanges;
    return true;
  }

  bool Sensor(uint16_t handle, hwgate::SensorView* out) override {
    const SensorSlot* slot = FindSensor(core_, handle);
    if (slot == nullptr) return false;
    *out = {core_.smbios + slot->offset, slot->length, slot->structureType, slot->status, slot->raw};
    ++core_.stats.sensorReads;
    return true;
  }

  void Alert() override { ++core_.stats.alerts; }

 private:
  Core& core_;
};

}  // namespace

void ResetCore(Core& core) {
  hwgate::FillBytes(reinterpret_cast<uint8_t*>(&core), 0, sizeof(Core));
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
  CoreSource source(core);
  if (!hwgate::Serve(source, code, buffer, inLength, outLength, returned)) {
    ++core.stats.rejectedCalls;
    return false;
  }
  if (code == vigil::kIoctlReadEventLog) SpoilLogAnswer(core, buffer);
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
