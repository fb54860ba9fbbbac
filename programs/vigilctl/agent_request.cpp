#include "agent_request.h"

#include <cstdio>

#include "command.h"
#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigilctl {
namespace {

// Only opened: events made here would outlive us and tell a later agent nothing.
os::Handle OpenEvent(const char* name) {
  os::Handle event = os::OpenNamedEvent(name);
  if (event == nullptr) std::fprintf(stderr, "vigilctl: agent not answering: no event \"%s\"\n", name);
  return event;
}

constexpr uint32_t kResignalMs = 100;

// The agent sets the reply before it resets the request event for its next wait, so a request
// sent right after another client's reply can be wiped out unseen. Signalling again now and
// then recovers it; a second serving of the same code is harmless (refresh, save, flag).
bool AwaitReply(os::Handle request, os::Handle reply, uint32_t timeoutMs) {
  for (uint32_t waited = 0; waited < timeoutMs; waited += kResignalMs) {
    os::WaitResult r = os::WaitForEvent(reply, timeoutMs - waited < kResignalMs ? timeoutMs - waited : kResignalMs);
    if (r == os::WaitResult::kSignaled) return true;
    if (r == os::WaitResult::kFailed) return false;
    os::SetEvent(request);
  }
  return false;
}

}  // namespace

int SendRequest(uint8_t* block, int32_t code, bool waitReply, uint32_t timeoutMs) {
  os::Handle request = OpenEvent(vigil::kRequestEventName);
  if (request == nullptr) return kExitNoAnswer;
  os::Handle reply = nullptr;
  if (waitReply) {
    reply = OpenEvent(vigil::kReplyEventName);
    if (reply == nullptr) {
      os::CloseHandle(request);
      return kExitNoAnswer;
    }
    // The agent never resets the reply event: an old signal would answer for it.
    os::ResetEvent(reply);
  }
  // The code is complete in the block before the agent can wake up and read it.
  vigil::block::StoreS32(block, vigil::block::kRequestCode, code);
  os::SetEvent(request);
  int result = kExitOk;
  if (waitReply && !AwaitReply(request, reply, timeoutMs)) {
    std::fprintf(stderr, "vigilctl: agent not answering: no \"%s\" within %u ms\n", vigil::kReplyEventName,
                 timeoutMs);
    result = kExitNoAnswer;
  }
  os::CloseHandle(reply);
  os::CloseHandle(request);
  return result;
}

}  // namespace vigilctl
