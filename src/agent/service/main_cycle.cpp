#include "agent/service/main_cycle.h"

#include <cstring>

#include "agent/config/agent_parameters.h"
#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/history_ring.h"
#include "os/os.h"
#include "agent/platform/driver_channel.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "agent/sensors/sensor_table.h"
#include "agent/service/event_log_start.h"
#include "agent/service/service_entry.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/service/request_channel.h"
#include "agent/shared/shared_block.h"
#include "agent/shutdown/system_shutdown.h"

namespace vigil {

namespace {

static_assert(sizeof(Inventory{}.systemUuid) == block::kSystemUuidSize, "UUID copied whole");

void WriteIdentification(uint8_t* block) {
  block::StoreU8(block, block::kIdByte0, block::kIdByte0Value);
  block::StoreU8(block, block::kIdByte1, block::kIdByte1Value);
  block::StoreU8(block, block::kIdByte2, block::kIdByte2Value);
  block::StoreU16(block, block::kIdWord0, block::kIdWord0Value);
  block::StoreU16(block, block::kIdWord1, block::kIdWord1Value);
  block::StoreU8(block, block::kIdByte3, block::kIdByte3Value);
}

// Clients tell machines apart by this field, so an unidentified model leaves no stale UUID. A
// server described by the generic event set publishes its UUID like a known one: a fleet of
// such servers is otherwise indistinguishable.
void PublishSystemUuid(uint8_t* block, bool identified) {
  uint8_t* field = block + block::kSystemUuid;
  if (identified || gGenericSetInUse) {
    std::memcpy(field, gInventory.systemUuid, block::kSystemUuidSize);
  } else {
    std::memset(field, 0, block::kSystemUuidSize);
  }
}

}  // namespace

int AgentStartUp() {
  uint8_t* block = gBlock;
  if (OpenDriverChannel() != 0 || gDriverHandle == nullptr) {
    os::MessageBox("Driver Initialization Error!", "HwGate", os::kMbIconError);
    return -1;
  }
  WriteIdentification(block);
  bool tableParsed = false;
  PublishSystemUuid(block, IdentifyPlatformModel(&tableParsed));
  StartEventLogReader(gSmbiosTable, tableParsed);
  if (BuildSensorTable() != 0) {
    os::MessageBox("Get SDR Table failed!", "VigilAgent ERROR", os::kMbIconWarning);
    return -1;
  }
  ResetHistoryRing();
  block::StoreS32(block, block::kRequestCode, 0);
  block::StoreU8(block, block::kStartupComplete, 1);
  return 0;
}

void PollStep() {
  KeepBlockWhole();
  CheckShutdownTrigger(PollEventLog());
}

int Teardown() {
  // Nothing may be released while another thread can still reach it: first end the request
  // thread (a request arriving from now on is not served), then stop taking controls (a
  // parameter reload on control code 128 writes into the block).
  const bool requestThreadGone = StopRequestChannel() == 0;
  const bool controlsQuiet = CloseControlHandling() == 0;
  if (!requestThreadGone || !controlsQuiet) {
    // Still in use after the bounded wait: leave the block and the handles to the end of the
    // process rather than free them under a running thread.
    return -1;
  }
  ReleaseSharedBlock();
  CloseDriverChannel();
  CloseRequestEvents();
  return 0;
}

int AgentMainCycle() {
  // Without even a private block there is nothing the agent could publish or serve.
  if (SetUpSharedBlock() != 0) return -1;
  if (!BlockPublished()) {
    // It goes on (its log and power-off still work), but it must not pass for serving clients.
    os::MessageBox("Cannot publish the shared block \"DMFileMap\": the agent runs on a private copy that no "
                   "client can see",
                   "Shared block", os::kMbIconError);
    os::SetServiceStatusNote("block-unpublished");
    ReportServiceState(CurrentServiceState());
  }
  LoadAgentParameters();
  StartRequestChannel();
  const bool started = AgentStartUp() == 0;
  if (started) {
    for (;;) {
      PollStep();
      const os::WaitResult result = os::WaitForEvent(gStopEvent, gPollIntervalMs);
      if (result == os::WaitResult::kSignaled) {
        os::ResetEvent(gStopEvent);
        break;
      }
      // A stop event that cannot be waited on would turn the cycle into a busy loop that no
      // control can end; stop instead.
      if (result == os::WaitResult::kFailed) break;
    }
  }
  Teardown();
  return started ? 0 : -1;
}

}  // namespace vigil
