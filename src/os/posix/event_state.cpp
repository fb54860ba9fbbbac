#include "os/posix/event_state.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>

namespace os::posix {
namespace {

std::atomic_ref<std::uint32_t> Word(std::uint32_t* word) { return std::atomic_ref<std::uint32_t>(*word); }

// The process-private flavour is only for memory no other process maps; a named event's word
// must be found by every process that maps the file, so it uses the shared key.
int FutexOp(int op, bool shared) { return shared ? op : (op | FUTEX_PRIVATE_FLAG); }

long Futex(std::uint32_t* word, int op, std::uint32_t value, const timespec* timeout) {
  return syscall(SYS_futex, word, op, value, timeout, nullptr, 0);
}

std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Takes the signal if there is one: a manual-reset event stays signalled, an auto-reset one is
// consumed by exactly one taker (the compare-exchange decides among racing waiters).
bool TakeSignal(std::uint32_t* word, bool manualReset) {
  std::uint32_t value = Word(word).load(std::memory_order_acquire);
  while (value != 0) {
    if (manualReset) return true;
    if (Word(word).compare_exchange_weak(value, 0, std::memory_order_acq_rel)) return true;
  }
  return false;
}

// A wait on a word whose page has gone (the file was truncated under us) fails with EFAULT.
// Touching it lets the view guard put a private page there, after which the wait works on that
// page; a few tries tell a passing fault from a word that cannot be reached at all.
constexpr int kFaultTries = 3;

}  // namespace

EventState NewEventState(bool manualReset, bool initialState) {
  EventState state{};
  state.magic = kEventMagic;
  state.layoutSize = sizeof(EventState);
  state.manualReset = manualReset ? 1 : 0;
  state.signaled = initialState ? 1 : 0;
  return state;
}

bool IsEventState(const EventState* state) {
  return state->magic == kEventMagic && state->layoutSize == sizeof(EventState);
}

void SignalEventWord(std::uint32_t* word, bool shared) {
  Word(word).store(1, std::memory_order_release);
  // Wake every waiter even for an auto-reset event: the first to take the word consumes the
  // signal and the others sleep again. Waking one could pick a waiter that is stopped or about
  // to die, and the signal would sit unseen by the live ones until their timeout.
  Futex(word, FutexOp(FUTEX_WAKE, shared), INT_MAX, nullptr);
}

void ClearEventWord(std::uint32_t* word) { Word(word).store(0, std::memory_order_release); }

WaitResult WaitEventWord(std::uint32_t* word, bool manualReset, bool shared, std::uint32_t timeoutMs) {
  const bool bounded = timeoutMs != kInfinite;
  const std::int64_t deadline = NowNs() + static_cast<std::int64_t>(timeoutMs) * 1000000LL;
  int faults = 0;
  while (true) {
    // Checked before the deadline, so a signal that raced the timeout still counts.
    if (TakeSignal(word, manualReset)) return WaitResult::kSignaled;
    timespec remaining{};
    if (bounded) {
      std::int64_t left = deadline - NowNs();
      if (left <= 0) return WaitResult::kTimeout;
      remaining.tv_sec = static_cast<time_t>(left / 1000000000LL);
      remaining.tv_nsec = static_cast<long>(left % 1000000000LL);
    }
    // Sleeps only while the word still reads 0, so a SetEvent between the check above and
    // this call is not missed (the kernel returns EAGAIN at once).
    if (Futex(word, FutexOp(FUTEX_WAIT, shared), 0, bounded ? &remaining : nullptr) == 0) continue;
    if (errno == EFAULT) {
      if (++faults > kFaultTries) return WaitResult::kFailed;
      (void)Word(word).load(std::memory_order_relaxed);
      continue;
    }
    // EAGAIN (the word changed), EINTR, ETIMEDOUT: the loop looks again.
  }
}

}  // namespace os::posix
