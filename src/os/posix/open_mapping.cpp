// Client side of the named shared block: open only, so a client never makes a block that the
// agent would then take for its own, and a block no process holds any more reads as absent.
#include "os/os.h"
#include "os/posix/mapping_object.h"

namespace os {

Handle OpenNamedMapping(const char* name, std::size_t size, bool* tooSmall) {
  return posix::OpenMappingObject(name, size, false, tooSmall);
}

}  // namespace os
