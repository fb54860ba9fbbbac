// One device I/O control call answered from a platform: the agent's three control codes
// (contract/driver_protocol.h) laid out the same by every provider.
#pragma once

#include <cstdint>

#include "provider/platform_source.h"

namespace hwgate {

// Serves one call the way a METHOD_BUFFERED driver does: `buffer` holds the input on entry
// (zero-filled up to outLength) and receives the output in place; it must be at least
// max(inLength, outLength) bytes. Returns success; *returned gets the byte count (0 on
// failure). Unknown codes, short buffers, unknown commands and handles are refused. Never
// reads or writes outside the buffer, whatever the lengths. Calls `source` from the caller's
// thread; whatever locking the source needs is its own.
bool Serve(PlatformSource& source, uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
           uint32_t* returned);

}  // namespace hwgate
