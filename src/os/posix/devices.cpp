// The device channel entry points: in-process devices first, then the provider's socket
// /run/<name>.sock under the root.
#include "os/os.h"
#include "contract/device_frames.h"
#include "os/posix/device_object.h"
#include "os/posix/root_paths.h"

namespace os {

std::string DeviceSocketPath(const char* devicePath) {
  std::string name;
  if (!posix::DeviceNameFromPath(devicePath, &name)) return "";
  return posix::RootedPath("/run/" + name + ".sock");
}

std::string RootedPath(const char* absolutePath) { return posix::RootedPath(absolutePath); }

Handle OpenDevice(const char* path) {
  if (posix::DeviceObject* local = posix::OpenLocalDevice(path)) return posix::ToHandle(local);
  const std::string socketPath = DeviceSocketPath(path);
  if (socketPath.empty()) return nullptr;
  posix::DeviceObject* device = posix::ConnectSocketDevice(socketPath);
  return device != nullptr ? posix::ToHandle(device) : nullptr;
}

bool DeviceIoControl(Handle handle, uint32_t code, const void* in, uint32_t inLen, void* out,
                     uint32_t outLen, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  posix::HandleRef<posix::DeviceObject> device(handle);
  if (!device) return false;
  if ((inLen != 0 && in == nullptr) || (outLen != 0 && out == nullptr)) return false;
  if (inLen > vigil::frames::kMaxPayload || outLen > vigil::frames::kMaxPayload) return false;
  uint32_t produced = 0;
  if (!device->Control(code, in, inLen, out, outLen, &produced)) return false;
  if (returned != nullptr) *returned = produced;
  return true;
}

}  // namespace os
