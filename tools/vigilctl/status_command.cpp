// vigilctl status [--json]: the block header.
#include <cstdio>
#include <cstring>
#include <string>

#include "client_block.h"
#include "command.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "uuid_text.h"

namespace vigilctl {

int RunStatus(int argc, char** argv) {
  namespace b = vigil::block;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      std::fprintf(stderr, "usage: vigilctl status [--json]\n");
      return kExitUsage;
    }
  }
  uint8_t* block = nullptr;
  if (int rc = AttachBlock(&block); rc != kExitOk) return rc;

  const unsigned id[] = {b::LoadU8(block, b::kIdByte0), b::LoadU8(block, b::kIdByte1),
                         b::LoadU8(block, b::kIdByte2), b::LoadU16(block, b::kIdWord0),
                         b::LoadU16(block, b::kIdWord1), b::LoadU8(block, b::kIdByte3)};
  const bool identified = id[0] == b::kIdByte0Value && id[1] == b::kIdByte1Value && id[2] == b::kIdByte2Value &&
                          id[3] == b::kIdWord0Value && id[4] == b::kIdWord1Value && id[5] == b::kIdByte3Value;
  const unsigned started = b::LoadU8(block, b::kStartupComplete);
  const unsigned flag17 = b::LoadU8(block, b::kRequest17Flag);
  uint8_t uuid[b::kSystemUuidSize];
  std::memcpy(uuid, block + b::kSystemUuid, sizeof uuid);
  const unsigned sensors = b::LoadU16(block, b::kSensorCount);
  const unsigned nextSlot = b::LoadU16(block, b::kRingNextSlot);
  const unsigned appended = b::LoadU16(block, b::kRingAppendCount);
  const unsigned overTemp = b::LoadU32(block, b::kCpuOverTempShutdown);
  const unsigned clearLog = b::LoadU32(block, b::kClearEventLogEnabled);
  const std::string uuidText = UuidText(uuid);

  if (json) {
    std::printf(
        "{\"identification\": [%u, %u, %u, %u, %u, %u], \"identified\": %s, \"startupComplete\": %u, "
        "\"request17Flag\": %u, \"uuid\": \"%s\", \"sensorCount\": %u, \"ringNextSlot\": %u, "
        "\"ringAppendCount\": %u, \"cpuOverTempShutdown\": %u, \"clearEventLogEnabled\": %u}\n",
        id[0], id[1], id[2], id[3], id[4], id[5], identified ? "true" : "false", started, flag17,
        uuidText.c_str(), sensors, nextSlot, appended, overTemp, clearLog);
  } else {
    std::printf("Identification        %02X %02X %02X %04X %04X %02X (%s)\n", id[0], id[1], id[2], id[3], id[4],
                id[5], identified ? "agent" : "not written");
    std::printf("Start-up complete     %u\n", started);
    std::printf("Request-17 flag       %u\n", flag17);
    std::printf("System UUID           %s\n", uuidText.c_str());
    // Counters come from a block anyone may write: shown as found, flagged when out of range.
    std::printf("Sensor count          %u%s\n", sensors, sensors > b::kMaxSensors ? " (out of range)" : "");
    std::printf("Ring next slot        %u%s\n", nextSlot, nextSlot > b::kRingSlots ? " (out of range)" : "");
    std::printf("Ring append count     %u\n", appended);
    std::printf("CPUOverTempShoutdown  %u\n", overTemp);
    std::printf("ClearEventLog_Enabled %u\n", clearLog);
  }
  if (started != 1) {
    std::fprintf(stderr, "vigilctl: warning: start-up flag 0: the agent has not started in this block, "
                         "or the block is stale\n");
  }
  return kExitOk;
}

}  // namespace vigilctl
