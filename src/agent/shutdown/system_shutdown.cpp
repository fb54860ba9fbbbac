#include "agent/shutdown/system_shutdown.h"

#include <cstdio>

#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil {

namespace {
constexpr std::size_t kShutdownMessageSize = 48;
}

void CheckShutdownTrigger(const LogPollResult& poll) {
  if (gBlock == nullptr) return;
  if (block::LoadU32(gBlock, block::kCpuOverTempShutdown) == 0) return;
  // The over-temperature event need not be a new record itself: one read again right after a
  // restart counts, as long as something new has been reported since start-up.
  if (!poll.recentOverTemperature || !poll.newRecordSinceStart) return;
  char message[kShutdownMessageSize];
  std::snprintf(message, sizeof message, "%s", kOverTempShutdownMessage);
  os::ShutdownSystem(message);
}

}  // namespace vigil
