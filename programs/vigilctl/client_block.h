// The client's view of the shared block "DMFileMap", opened (never created) through the port.
#pragma once

#include <cstdint>

namespace vigilctl {

// Maps the agent's block. Returns kExitOk and sets *block, or prints a clear message and
// returns kExitNoBlock (absent, too small, unmappable).
int AttachBlock(uint8_t** block);

// Whether the block last attached is no longer the one at its name, or no longer whole here:
// cut short, made anew, or pages of our view lost to a truncation (they read as zero). A
// long-lived client then attaches again.
bool AttachedBlockReplaced();

// True when the agent has completed its start-up in this block; otherwise prints why the
// block cannot be trusted to have an agent behind it.
bool AgentStarted(const uint8_t* block);

}  // namespace vigilctl
