// How far `vigilctl traps` has gone through the history ring, kept across its restarts, and
// which slots to handle next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "contract/block_layout.h"
#include "event_view.h"
#include "pet_trap.h"

namespace vigilctl {

constexpr uint16_t kNoSlot = 0xFFFF;

// The ring counters just after the last entry handled, and that entry's slot and digest: a
// digest that no longer matches means the slot was rewritten (agent restart, overrun).
struct TrapCursor {
  uint16_t appendCount = 0;
  uint16_t nextSlot = 0;
  uint16_t lastSlot = kNoSlot;
  uint64_t lastDigest = 0;
};

// FNV-1a of the whole entry, seen flags included: a replayed record differs from its first run.
uint64_t EntryDigest(const vigil::HistoryEntry& entry);

std::string FormatTrapCursor(const TrapCursor& cursor);
// Exactly what FormatTrapCursor writes; false for anything else (then the file is ignored).
bool ParseTrapCursor(const std::string& text, TrapCursor* cursor);

// An inform sent and not yet acknowledged. It is kept with its bytes, not as a ring slot: the
// agent may rewrite the ring meanwhile, and a resend must carry the same identity.
struct PendingInform {
  std::string destination;  // as the sender names it: host:port or [address]:port
  TrapMessage message;
};

// Everything the state file holds: the cursor line, then one line per pending inform.
struct TrapState {
  TrapCursor cursor;
  std::vector<PendingInform> informs;  // oldest first
};

constexpr std::size_t kMaxPetVarbind = 1024;
constexpr std::size_t kMaxStateFile = 8 << 20;

std::string FormatTrapState(const TrapState& state);
// Exactly what FormatTrapState writes; false for anything else (then the file is ignored).
bool ParseTrapState(const std::string& text, TrapState* state);

struct RingItem {
  std::size_t slot;
  uint16_t appendNumber;  // the ring append count right after this entry was written
};
struct RingPlan {
  std::vector<RingItem> items;  // oldest first
  bool restarted = false;       // the cursor's entry was rewritten: a new run or an overrun
  uint32_t overwritten = 0;     // entries known to be lost before they could be read
};

// What to handle between the cursor and `target` (counters the agent had finished writing).
// `lastIntact`: the cursor's slot still holds the entry it names (or it names none).
RingPlan PlanRing(const TrapCursor& cursor, const RingCounters& target, bool lastIntact);

// Reads the state file; false when absent or unreadable.
bool LoadTrapState(const std::string& path, TrapState* state);
// Replaces the state file atomically (a temporary beside it, then rename). 0 or -1.
int SaveTrapState(const std::string& path, const TrapState& state);

}  // namespace vigilctl
