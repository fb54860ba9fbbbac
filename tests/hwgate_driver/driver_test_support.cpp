#include "driver_test_support.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "scenario/scenario_loader.h"
#include "support/source_path.h"

namespace drivertest {

std::unique_ptr<hwsim::Core> EmptyCore() {
  auto core = std::make_unique<hwsim::Core>();
  hwsim::ResetCore(*core);
  return core;
}

std::unique_ptr<hwsim::Core> ScenarioCore(const std::string& name) {
  auto core = std::make_unique<hwsim::Core>();
  const std::string path = vigil::test::SourcePath("fixtures/scenarios/" + name);
  std::string error;
  if (!hwsim::LoadScenarioFile(path.c_str(), core.get(), &error)) return nullptr;
  return core;
}

std::vector<std::string> ScenarioNames() {
  return {"kelvo-a140.json", "kelvo-a141.json", "kelvo-b720.json", "kelvo-b720-from-file.json",
          "kelvo-c850.json", "unknown-model.json"};
}

bool SameState(const hwsim::Core& a, const hwsim::Core& b) {
  if (std::memcmp(a.smbios, b.smbios, sizeof(a.smbios)) != 0 || a.smbiosFails != b.smbiosFails ||
      a.sensorCount != b.sensorCount || a.logLength != b.logLength ||
      a.logCapacity != b.logCapacity || a.firstRecordTime != b.firstRecordTime ||
      a.failNext != b.failNext || a.failCode != b.failCode || a.malformed != b.malformed ||
      std::memcmp(a.log, b.log, a.logLength) != 0) {
    return false;
  }
  for (uint32_t i = 0; i < a.sensorCount; ++i) {
    const hwsim::SensorSlot& x = a.sensors[i];
    const hwsim::SensorSlot& y = b.sensors[i];
    if (x.handle != y.handle || x.structureType != y.structureType || x.status != y.status ||
        x.raw != y.raw || x.offset != y.offset || x.length != y.length) {
      return false;
    }
  }
  return true;
}

Answer Call(hwsim::Core& core, uint32_t code, const std::vector<uint8_t>& input, uint32_t outLength,
            uint8_t junk) {
  const uint32_t inLength = static_cast<uint32_t>(input.size());
  std::vector<uint8_t> buffer(inLength > outLength ? inLength : outLength, junk);
  std::copy(input.begin(), input.end(), buffer.begin());
  uint32_t returned = 0xDEADBEEF;
  Answer answer;
  answer.outcome = hwsim::control::HandleDeviceControl(core, code, buffer.empty() ? nullptr : buffer.data(),
                                                       inLength, outLength, &returned);
  answer.returned = returned;
  answer.output.assign(buffer.begin(), buffer.begin() + std::min<size_t>(returned, buffer.size()));
  return answer;
}

std::vector<uint8_t> LogRequest(uint16_t position, uint8_t room, uint32_t identity) {
  std::vector<uint8_t> request(vigil::kLogReadRequestSize, 0);
  vigil::le::Store32(request.data() + offsetof(vigil::LogReadRecord, firstRecordTime), identity);
  vigil::le::Store16(request.data() + offsetof(vigil::LogReadRecord, position), position);
  request[offsetof(vigil::LogReadRecord, dataLength)] = room;
  return request;
}

std::vector<uint8_t> SensorCommand(uint16_t handle) {
  std::vector<uint8_t> block(vigil::kCommandBlockSize, 0);
  vigil::le::Store16(block.data() + vigil::kCommandCodeOffset, vigil::kCommandReadSensor);
  vigil::le::Store16(block.data() + vigil::kCommandArgumentOffset, handle);
  return block;
}

}  // namespace drivertest
