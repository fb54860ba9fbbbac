#include "os/posix/event_state.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace os::posix {
namespace {

// Locks the event's mutex. A process that died holding it leaves it EOWNERDEAD; the guarded
// state is a single word written whole, so it is always consistent and we may carry on.
bool Lock(EventState* state) {
  int rc = pthread_mutex_lock(&state->mutex);
  if (rc == EOWNERDEAD) {
    pthread_mutex_consistent(&state->mutex);
    return true;
  }
  return rc == 0;
}

timespec DeadlineAfter(std::uint32_t timeoutMs) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  now.tv_sec += static_cast<time_t>(timeoutMs / 1000);
  now.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (now.tv_nsec >= 1000000000L) {
    now.tv_sec += 1;
    now.tv_nsec -= 1000000000L;
  }
  return now;
}

}  // namespace

bool InitEventState(EventState* state, bool shared, bool manualReset, bool initialState) {
  std::memset(static_cast<void*>(state), 0, sizeof *state);
  int pshared = shared ? PTHREAD_PROCESS_SHARED : PTHREAD_PROCESS_PRIVATE;
  pthread_mutexattr_t mutexAttr;
  if (pthread_mutexattr_init(&mutexAttr) != 0) return false;
  bool ok = pthread_mutexattr_setpshared(&mutexAttr, pshared) == 0 &&
            (!shared || pthread_mutexattr_setrobust(&mutexAttr, PTHREAD_MUTEX_ROBUST) == 0) &&
            pthread_mutex_init(&state->mutex, &mutexAttr) == 0;
  pthread_mutexattr_destroy(&mutexAttr);
  if (!ok) return false;
  pthread_condattr_t condAttr;
  if (pthread_condattr_init(&condAttr) != 0) return false;
  ok = pthread_condattr_setpshared(&condAttr, pshared) == 0 &&
       pthread_condattr_setclock(&condAttr, CLOCK_MONOTONIC) == 0 &&
       pthread_cond_init(&state->cond, &condAttr) == 0;
  pthread_condattr_destroy(&condAttr);
  if (!ok) return false;
  state->signaled = initialState ? 1 : 0;
  state->manualReset = manualReset ? 1 : 0;
  state->layoutSize = sizeof(EventState);
  state->magic = kEventMagic;
  return true;
}

bool IsEventState(const EventState* state) {
  return state->magic == kEventMagic && state->layoutSize == sizeof(EventState);
}

bool SignalEventState(EventState* state) {
  if (!Lock(state)) return false;
  state->signaled = 1;
  // Broadcast even for auto-reset events: the first waiter to get the mutex consumes the
  // signal and the others wait again. A targeted signal could go to a waiter of a process
  // that has since died and be lost.
  pthread_cond_broadcast(&state->cond);
  pthread_mutex_unlock(&state->mutex);
  return true;
}

bool ClearEventState(EventState* state) {
  if (!Lock(state)) return false;
  state->signaled = 0;
  pthread_mutex_unlock(&state->mutex);
  return true;
}

WaitResult WaitEventState(EventState* state, std::uint32_t timeoutMs) {
  timespec deadline = DeadlineAfter(timeoutMs == kInfinite ? 0 : timeoutMs);
  if (!Lock(state)) return WaitResult::kFailed;
  WaitResult result = WaitResult::kSignaled;
  while (state->signaled == 0) {
    int rc = 0;
    if (timeoutMs == 0) {
      rc = ETIMEDOUT;
    } else if (timeoutMs == kInfinite) {
      rc = pthread_cond_wait(&state->cond, &state->mutex);
    } else {
      rc = pthread_cond_timedwait(&state->cond, &state->mutex, &deadline);
    }
    if (rc == 0) continue;
    if (rc == EOWNERDEAD) {
      pthread_mutex_consistent(&state->mutex);
      continue;
    }
    if (rc == ETIMEDOUT) {
      // A signal that raced the timeout still counts: it is consumed here, not lost.
      if (state->signaled == 0) result = WaitResult::kTimeout;
      break;
    }
    if (rc == ENOTRECOVERABLE) return WaitResult::kFailed;  // the mutex is not held
    result = WaitResult::kFailed;
    break;
  }
  if (result == WaitResult::kSignaled && state->manualReset == 0) state->signaled = 0;
  pthread_mutex_unlock(&state->mutex);
  return result;
}

}  // namespace os::posix
