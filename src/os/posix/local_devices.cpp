// In-process devices behind this backend's handles (the registry of them is os/local_devices).
#include <new>

#include "os/local_devices.h"
#include "os/posix/device_object.h"

namespace os::posix {
namespace {

class LocalDevice final : public DeviceObject {
 public:
  explicit LocalDevice(void* connection) : connection_(connection) {}
  ~LocalDevice() override { local_devices::Close(connection_); }

  bool Control(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
               std::uint32_t outLen, std::uint32_t* returned) override {
    return local_devices::Control(connection_, code, in, inLen, out, outLen, returned);
  }

 private:
  void* connection_;
};

}  // namespace

DeviceObject* OpenLocalDevice(const char* path) {
  void* connection = local_devices::Open(path);
  if (connection == nullptr) return nullptr;
  auto* device = new (std::nothrow) LocalDevice(connection);
  if (device == nullptr) local_devices::Close(connection);
  return device;
}

}  // namespace os::posix
