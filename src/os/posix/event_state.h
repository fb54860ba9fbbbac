// The state of one event, laid out the same in private memory (unnamed events) and in a shared
// file (named events), so one set of operations serves both.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "os/os.h"

namespace os::posix {

struct EventState {
  std::uint32_t magic;       // kEventMagic once initialised; openers check it
  std::uint32_t layoutSize;  // sizeof(EventState) of the creator: refuses a foreign layout
  pthread_mutex_t mutex;     // robust and process-shared for named events
  pthread_cond_t cond;       // on CLOCK_MONOTONIC, so a clock change does not stretch waits
  std::uint32_t signaled;    // guarded by mutex
  std::uint32_t manualReset;
};

constexpr std::uint32_t kEventMagic = 0x54564556;  // "VEVT"

// Initialises `state` in place; `shared` for memory seen by several processes.
bool InitEventState(EventState* state, bool shared, bool manualReset, bool initialState);
// Whether `state` (at least sizeof(EventState) bytes) holds an initialised event.
bool IsEventState(const EventState* state);
bool SignalEventState(EventState* state);
bool ClearEventState(EventState* state);
// Win32 wait: an auto-reset event is consumed by the one waiter that returns kSignaled.
WaitResult WaitEventState(EventState* state, std::uint32_t timeoutMs);

}  // namespace os::posix
