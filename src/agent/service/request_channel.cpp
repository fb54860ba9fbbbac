#include "agent/service/request_channel.h"

#include <atomic>

#include "agent/config/agent_parameters.h"
#include "agent/sensors/sensor_refresh.h"
#include "agent/service/service_entry.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil {

namespace {

// Teardown asks the thread to leave; the thread says when it has.
std::atomic<bool> gStopRequested{false};
std::atomic<bool> gThreadRunning{false};

constexpr uint32_t kStopPollMs = 10;

// The reply event is made after the thread has started, so the thread reads it with acquire.
os::Handle ReplyEvent() { return std::atomic_ref<os::Handle>(gReplyEvent).load(std::memory_order_acquire); }

// One request, by the signed code in the block. The code is read again for 17 because a client
// may have rewritten it while a refresh or a save was running.
void ServeRequest(uint8_t* block) {
  const int32_t code = block::LoadS32(block, block::kRequestCode);
  if (code < kRequestSaveParameters) {
    RefreshSensors();
    os::SetEvent(ReplyEvent());
  } else if (code == kRequestSaveParameters) {
    SaveAgentParameters();
  }
  if (block::LoadS32(block, block::kRequestCode) == kRequestSetFlag17) {
    block::StoreU8(block, block::kRequest17Flag, 1);
  }
}

bool ShouldEnd() {
  return gStopRequested.load() || CurrentServiceState() == os::kServiceStopPending;
}

void RequestThread(void*) {
  // Set before the thread was started, never changed while it runs.
  os::Handle request = gRequestEvent;
  while (request != nullptr && !ShouldEnd()) {
    // Reset before every wait: a signal given while a request is served is dropped, so one
    // request is served per wake-up.
    os::ResetEvent(request);
    const os::WaitResult result = os::WaitForEvent(request, os::kInfinite);
    // A wait that fails would fail again at once; end instead of spinning.
    if (result == os::WaitResult::kFailed) break;
    if (result != os::WaitResult::kSignaled) continue;
    // Woken by teardown: the block and the handles are about to go.
    if (gStopRequested.load()) break;
    uint8_t* block = CurrentBlock();
    if (block != nullptr) ServeRequest(block);
  }
  gThreadRunning.store(false);
}

}  // namespace

os::Handle CreateOrOpenEvent(const char* name) {
  os::Handle event = os::CreateNamedEvent(name, true, false);
  if (event == nullptr) event = os::OpenNamedEvent(name);
  return event;
}

void StartRequestChannel() {
  gStopRequested.store(false);
  gRequestEvent = CreateOrOpenEvent(kRequestEventName);
  gThreadRunning.store(true);
  if (!os::StartThread(RequestThread, nullptr)) gThreadRunning.store(false);
  std::atomic_ref<os::Handle>(gReplyEvent).store(CreateOrOpenEvent(kReplyEventName), std::memory_order_release);
}

int StopRequestChannel() {
  gStopRequested.store(true);
  // The thread resets the request event before each wait, and a client may reset it too, so
  // one SetEvent could be lost: keep setting it until the thread has left. A refresh under
  // way is let finish, within the bound.
  for (uint32_t waited = 0; gThreadRunning.load(); waited += kStopPollMs) {
    if (waited >= kRequestThreadStopTimeoutMs) return -1;
    os::SetEvent(gRequestEvent);
    os::SleepMs(kStopPollMs);
  }
  return 0;
}

void CloseRequestEvents() {
  os::CloseHandle(gRequestEvent);
  gRequestEvent = nullptr;
  os::CloseHandle(std::atomic_ref<os::Handle>(gReplyEvent).exchange(nullptr));
}

bool RequestThreadRunning() { return gThreadRunning.load(); }

}  // namespace vigil
