// The one way both the agent's create-or-open and a client's open reach a named mapping.
#pragma once

#include <cstddef>

#include "os/os.h"

namespace os::posix {

// Opens the named mapping /dev/shm/<name> under the root for `size` bytes; with `create` it
// is made (or a leftover no process holds is started afresh, all zero). Null on failure;
// *tooSmall (may be null) is set when a held mapping has fewer than `size` bytes. A mapping
// that cannot get its bytes reserved is reported in the message log. Any thread may call.
Handle OpenMappingObject(const char* name, std::size_t size, bool create, bool* tooSmall);

}  // namespace os::posix
