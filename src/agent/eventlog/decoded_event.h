// DecodedEvent: one BIOS log record decoded into the history ring entry it becomes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "contract/block_layout.h"

namespace vigil {

constexpr std::size_t kEventLocatorSize = 48;

struct DecodedEvent {
  // The ring entry exactly as the ring stores it: the decoder fills every field but seen1 and
  // seen2, which the reader sets when it knows whether the record is new. A record time that
  // cannot be represented is 0, the value the entry gives an unknown time.
  HistoryEntry entry;
  // What the event names, apart from its text: the memory locator of a memory error
  // ("DIMM_A1") or the PCI location of a bus error; "" for none. For the event report only.
  char locator[kEventLocatorSize];
};

}  // namespace vigil
