// In-process devices: tests and benchmarks put a scripted or simulated platform behind the
// agent's real channel code.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/os.h"
#include "os/posix/device_object.h"

namespace os {
namespace {

struct Registration {
  std::string path;
  LocalDeviceFn fn;
  void* context;
};

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<Registration>& Registrations() {
  static std::vector<Registration> registrations;
  return registrations;
}

class LocalDevice final : public posix::DeviceObject {
 public:
  LocalDevice(LocalDeviceFn fn, void* context) : fn_(fn), context_(context) {}

  bool Control(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
               std::uint32_t outLen, std::uint32_t* returned) override {
    // The same exchange as a provider behind the socket gets: one call at a time, on a working
    // buffer that starts as the input zero-filled to the output length, and only the bytes
    // reported copied back.
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::uint8_t> buffer(std::max(inLen, outLen), 0);
    if (inLen != 0) std::memcpy(buffer.data(), in, inLen);
    std::uint32_t produced = 0;
    if (!fn_(context_, code, buffer.data(), inLen, buffer.data(), outLen, &produced)) {
      return false;
    }
    produced = std::min(produced, outLen);
    if (produced != 0) std::memcpy(out, buffer.data(), produced);
    *returned = produced;
    return true;
  }

 private:
  std::mutex mutex_;
  LocalDeviceFn fn_;
  void* context_;
};

}  // namespace

void RegisterLocalDevice(const char* path, LocalDeviceFn fn, void* context) {
  if (path == nullptr) return;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto& registrations = Registrations();
  registrations.erase(std::remove_if(registrations.begin(), registrations.end(),
                                     [path](const Registration& r) {
                                       return strcasecmp(r.path.c_str(), path) == 0;
                                     }),
                      registrations.end());
  if (fn != nullptr) registrations.push_back({path, fn, context});
}

namespace posix {

DeviceObject* OpenLocalDevice(const char* path) {
  if (path == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  for (const Registration& r : Registrations()) {
    if (strcasecmp(r.path.c_str(), path) == 0) {
      return new (std::nothrow) LocalDevice(r.fn, r.context);
    }
  }
  return nullptr;
}

}  // namespace posix
}  // namespace os
