// A device handle: the socket of a platform provider or an in-process device.
#pragma once

#include <cstdint>
#include <string>

#include "os/posix/port_object.h"

namespace os::posix {

class DeviceObject : public PortObject {
 public:
  // One exchange. Arguments are already checked (non-null where a length is given, lengths
  // within the frame limit). On success *returned is at most outLen and exactly that many
  // bytes of `out` were written; on failure `out` is untouched.
  virtual bool Control(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                       std::uint32_t outLen, std::uint32_t* returned) = 0;
};

// "\\.\HwGate" -> "hwgate". False unless the path is "\\.\" followed by a plain device name
// (letters, digits, '_', '-', '.'; not "." or ".."), so a name can never leave /run.
bool DeviceNameFromPath(const char* path, std::string* lowerName);

// Connects to the provider listening on the UNIX stream socket at `socketPath`. Null when there
// is none or it refuses.
DeviceObject* ConnectSocketDevice(const std::string& socketPath);

// A handle on the in-process device registered for `path` (compared without regard to case),
// or null when none is registered.
DeviceObject* OpenLocalDevice(const char* path);

}  // namespace os::posix
