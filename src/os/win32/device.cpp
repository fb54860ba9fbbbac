// Device channel: CreateFileA + DeviceIoControl, or an in-process device registered by a test.
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "os/win32/win32_api.h"

namespace os {
namespace {

struct LocalDevice {
  char path[MAX_PATH];
  LocalDeviceFn fn;
  void* context;
  // One call at a time per device, as the POSIX backend serves it: a scripted or simulated
  // device need not be written for two callers at once.
  std::mutex calls;
};

// A handful of slots is plenty for tests and benchmarks; a slot's address is the handle, so
// a handle stays recognisable (and harmless) after its device is removed.
constexpr int kLocalDeviceSlots = 16;
LocalDevice gLocalDevices[kLocalDeviceSlots];
std::mutex gLocalDevicesLock;

LocalDevice* FindLocal(const char* path) {
  for (LocalDevice& device : gLocalDevices) {
    if (device.path[0] != '\0' && ::lstrcmpiA(device.path, path) == 0) return &device;
  }
  return nullptr;
}

bool LocalIoControl(LocalDevice* device, uint32_t code, const void* in, uint32_t inLen,
                    void* out, uint32_t outLen, uint32_t* returned) {
  LocalDeviceFn fn = nullptr;
  void* context = nullptr;
  {
    std::lock_guard<std::mutex> lock(gLocalDevicesLock);
    fn = device->fn;
    context = device->context;
  }
  if (fn == nullptr) return false;
  // One system buffer for both directions, as METHOD_BUFFERED gives a driver: the input,
  // zero-filled up to the output length.
  const uint32_t workLen = inLen > outLen ? inLen : outLen;
  std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[workLen == 0 ? 1 : workLen]());
  if (!work) return false;
  if (inLen != 0) std::memcpy(work.get(), in, inLen);
  uint32_t produced = 0;
  {
    std::lock_guard<std::mutex> lock(device->calls);
    // A failed request hands nothing back, as the I/O manager copies no buffer on failure.
    if (!fn(context, code, work.get(), inLen, work.get(), outLen, &produced)) return false;
  }
  if (produced > outLen) produced = outLen;
  if (produced != 0) std::memcpy(out, work.get(), produced);
  if (returned != nullptr) *returned = produced;
  return true;
}

}  // namespace

namespace win32 {

bool IsLocalDevice(Handle handle) {
  const auto* p = static_cast<const LocalDevice*>(handle);
  return p >= gLocalDevices && p < gLocalDevices + kLocalDeviceSlots;
}

}  // namespace win32

void RegisterLocalDevice(const char* path, LocalDeviceFn fn, void* context) {
  if (path == nullptr || path[0] == '\0' || std::strlen(path) >= MAX_PATH) return;
  std::lock_guard<std::mutex> lock(gLocalDevicesLock);
  LocalDevice* device = FindLocal(path);
  if (device == nullptr) {
    if (fn == nullptr) return;
    for (LocalDevice& slot : gLocalDevices) {
      if (slot.path[0] == '\0') {
        device = &slot;
        std::strcpy(device->path, path);
        break;
      }
    }
    if (device == nullptr) return;
  }
  device->fn = fn;
  device->context = context;
}

Handle OpenDevice(const char* path) {
  if (path == nullptr) return nullptr;
  {
    std::lock_guard<std::mutex> lock(gLocalDevicesLock);
    LocalDevice* device = FindLocal(path);
    if (device != nullptr && device->fn != nullptr) return device;
  }
  return win32::FromWin32(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool DeviceIoControl(Handle device, uint32_t code, const void* in, uint32_t inLen, void* out,
                     uint32_t outLen, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  if (device == nullptr || (in == nullptr && inLen != 0) || (out == nullptr && outLen != 0)) {
    return false;
  }
  if (win32::IsLocalDevice(device)) {
    return LocalIoControl(static_cast<LocalDevice*>(device), code, in, inLen, out, outLen,
                          returned);
  }
  DWORD produced = 0;
  const BOOL ok = ::DeviceIoControl(device, code, const_cast<void*>(in), inLen, out, outLen,
                                    &produced, nullptr);
  if (returned != nullptr) *returned = produced > outLen ? outLen : produced;
  return ok != FALSE;
}

}  // namespace os
