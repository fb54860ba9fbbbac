// Creation of the shared state block and the process-global pointers to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include "agent/state/agent_state.h"

namespace vigil {

// Creates or opens "DMFileMap" and maps it whole. Returns the view, or null: with no message
// when the mapping cannot be made or opened (or an existing one is too small), after the
// "Cannot MapViewOfFile" / "ERROR !!!" box when the view cannot be mapped. Service thread.
uint8_t* CreateSharedBlock(const char* name, std::size_t size);

// Step 1 of the main cycle: gView = CreateSharedBlock(...); gBlock = gView or a private
// zero-filled block. Returns 0, or -1 when not even the private block could be allocated.
int SetUpSharedBlock();
// Whether the block is the named mapping clients open (false: a private allocation).
bool BlockPublished();

// Poll step: when another process has cut the mapping short, gives it its size back with the
// content this agent holds (what the cut left, and beyond it the block as of the last poll)
// and logs it; otherwise takes that copy for the next time. Returns 0, or -1 when the block
// could not be restored (logged). Service thread.
int KeepBlockWhole();

// Teardown step 1: frees gBlock when it is the private allocation (and clears it). The caller
// makes sure no other thread of the agent still uses the block (request thread ended, control
// handling closed).
void ReleaseSharedBlock();

// gBlock as seen from another thread than the service thread (control handler, request
// thread): null before the block is set up and after it was released.
uint8_t* CurrentBlock();

}  // namespace vigil
