// The state of one event: a word that the kernel's futex waits and wakes on, laid out the same
// in private memory (unnamed events) and in a shared file (named events), so one set of
// operations serves both.
//
// No lock is ever taken: a waiter sleeps in the kernel on the word itself, so a process that
// dies, is stopped or is hostile while it waits, sets or resets holds nothing anyone else needs.
// Any value other than 0 in the word means "signalled": garbage written into it can cause a
// spurious wake-up but never a hang or a crash.
#pragma once

#include <cstdint>

#include "os/os.h"

namespace os::posix {

struct EventState {
  std::uint32_t magic;        // kEventMagic once initialised; openers check it
  std::uint32_t layoutSize;   // sizeof(EventState) of the creator: refuses a foreign layout
  std::uint32_t manualReset;  // read once by each opener; later writes do not change a handle
  std::uint32_t signaled;     // the futex word: 0 not signalled, anything else signalled
};

constexpr std::uint32_t kEventMagic = 0x54564557;  // "WEVT": the futex layout

// The whole state of a fresh event, ready to be copied into place.
EventState NewEventState(bool manualReset, bool initialState);
// Whether `state` (at least sizeof(EventState) bytes) holds an initialised event.
bool IsEventState(const EventState* state);

// The operations on the word. `shared`: the word lies in memory other processes map, so the
// kernel must key its waiters by the file rather than by this process. Any thread may call.
void SignalEventWord(std::uint32_t* word, bool shared);
void ClearEventWord(std::uint32_t* word);
// Win32 wait: an auto-reset event is consumed by the one waiter that returns kSignaled. Every
// wait with a timeout ends within it (measured on CLOCK_MONOTONIC); kFailed only when the word
// cannot be reached at all.
WaitResult WaitEventWord(std::uint32_t* word, bool manualReset, bool shared, std::uint32_t timeoutMs);

}  // namespace os::posix
