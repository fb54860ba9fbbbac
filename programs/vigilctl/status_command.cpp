// vigilctl status [--json]: the block header, and the server as the platform driver names it.
#include <cstdio>
#include <cstring>
#include <string>

#include "block_header.h"
#include "client_block.h"
#include "command.h"
#include "event_view.h"
#include "platform_model.h"
#include "text/json_string.h"
#include "uuid_text.h"

namespace vigilctl {

namespace {

std::string JsonOrNull(bool known, const std::string& text) {
  return known ? vigil::text::JsonString(text) : "null";
}

const char* GenericSetText(const PlatformIdentity& platform, bool known, bool inUse) {
  if (!known) return "unknown";
  if (inUse) return "in use (no known model, and the registry holds the set)";
  return platform.model.empty() ? "not in use (the registry does not hold the set)" : "not in use (a known model)";
}

}  // namespace

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

  const BlockHeader h = ReadBlockHeader(block);
  const unsigned* id = h.id;
  const std::string uuidText = UuidText(h.uuid);
  // The block says nothing of the server's name or of the event set the agent chose: both come
  // from where the agent takes them at its start, the driver's SMBIOS table and the registry.
  PlatformIdentity platform;
  const bool platformRead = ReadPlatformIdentity(&platform);
  bool genericKnown = false;
  const bool generic = platformRead && GenericSetInUse(platform, &genericKnown);
  genericKnown = genericKnown && platformRead;

  if (json) {
    std::printf(
        "{\"identification\": [%u, %u, %u, %u, %u, %u], \"identified\": %s, \"startupComplete\": %u, "
        "\"request17Flag\": %u, \"uuid\": \"%s\", \"sensorCount\": %u, \"ringNextSlot\": %u, "
        "\"ringAppendCount\": %u, \"cpuOverTempShutdown\": %u, \"clearEventLogEnabled\": %u, "
        "\"manufacturer\": %s, \"product\": %s, \"model\": %s, \"genericEventSet\": %s}\n",
        id[0], id[1], id[2], id[3], id[4], id[5], h.identified ? "true" : "false", h.startupComplete,
        h.request17Flag, uuidText.c_str(), h.sensorCount, h.ringNextSlot, h.ringAppendCount,
        h.cpuOverTempShutdown, h.clearEventLogEnabled, JsonOrNull(platformRead, platform.manufacturer).c_str(),
        JsonOrNull(platformRead, platform.product).c_str(), JsonOrNull(platformRead, platform.model).c_str(),
        genericKnown ? (generic ? "true" : "false") : "null");
  } else {
    std::printf("Identification        %02X %02X %02X %04X %04X %02X (%s)\n", id[0], id[1], id[2], id[3], id[4],
                id[5], h.identified ? "agent" : "not written");
    std::printf("Start-up complete     %u\n", h.startupComplete);
    std::printf("Request-17 flag       %u\n", h.request17Flag);
    std::printf("System UUID           %s\n", uuidText.c_str());
    std::printf("Product               %s\n",
                platformRead ? Printable(platform.product + " (" + platform.manufacturer + ")").c_str()
                             : "unknown (driver not reachable)");
    std::printf("Generic event set     %s\n", GenericSetText(platform, genericKnown, generic));
    // Counters come from a block anyone may write: shown as found, flagged when out of range.
    std::printf("Sensor count          %u%s\n", h.sensorCount, h.sensorCount > b::kMaxSensors ? " (out of range)" : "");
    std::printf("Ring next slot        %u%s\n", h.ringNextSlot, h.ringNextSlot > b::kRingSlots ? " (out of range)" : "");
    std::printf("Ring append count     %u\n", h.ringAppendCount);
    std::printf("CPUOverTempShoutdown  %u\n", h.cpuOverTempShutdown);
    std::printf("ClearEventLog_Enabled %u\n", h.clearEventLogEnabled);
  }
  if (h.startupComplete != 1) {
    std::fprintf(stderr, "vigilctl: warning: start-up flag 0: the agent has not started in this block, "
                         "or the block is stale\n");
  }
  return kExitOk;
}

}  // namespace vigilctl
