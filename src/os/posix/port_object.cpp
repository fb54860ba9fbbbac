#include "os/posix/port_object.h"

namespace os {

void CloseHandle(Handle handle) {
  if (handle != nullptr) static_cast<posix::PortObject*>(handle)->Close();
}

}  // namespace os
