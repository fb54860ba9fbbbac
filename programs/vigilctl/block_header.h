// The block's scalar fields outside the two record regions, read once for every command that
// shows them (status, metrics).
#pragma once

#include <cstdint>

#include "contract/block_layout.h"

namespace vigilctl {

struct BlockHeader {
  unsigned id[6];        // identification bytes and words, in block order
  bool identified;       // all six hold the values the agent writes
  unsigned startupComplete;
  unsigned request17Flag;
  uint8_t uuid[vigil::block::kSystemUuidSize];
  bool uuidSet;          // not all zero: the agent identified the server model
  unsigned sensorCount;  // as found, not bounded
  unsigned ringNextSlot;
  unsigned ringAppendCount;
  unsigned cpuOverTempShutdown;
  unsigned clearEventLogEnabled;
};

// Reads each field with one load of its own width. Any thread; never fails.
BlockHeader ReadBlockHeader(const uint8_t* block);

}  // namespace vigilctl
