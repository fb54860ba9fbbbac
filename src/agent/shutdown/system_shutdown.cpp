#include "agent/shutdown/system_shutdown.h"

#include <cstdio>

#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil {

uint32_t gOverTempMarker = 0;
uint32_t gNewRecordMarker = 0;

namespace {
constexpr std::size_t kShutdownMessageSize = 48;
}

void CheckShutdownTrigger() {
  if (gBlock == nullptr) return;
  if (block::LoadU32(gBlock, block::kCpuOverTempShutdown) == 0) return;
  // Both markers: a recent over-temperature event decoded in this poll, and at least one
  // record reported as new since start-up.
  if (gOverTempMarker != kOverTempMarkerSet || gNewRecordMarker != kNewRecordMarkerSet) return;
  char message[kShutdownMessageSize];
  std::snprintf(message, sizeof message, "%s", kOverTempShutdownMessage);
  os::ShutdownSystem(message);
}

}  // namespace vigil
