// Device channel: CreateFileA + DeviceIoControl, or an in-process device registered by a test
// (os/local_devices).
#include "os/local_devices.h"
#include "os/win32/win32_api.h"

namespace os {

Handle OpenDevice(const char* path) {
  if (path == nullptr) return nullptr;
  if (void* local = local_devices::Open(path)) return local;
  return win32::FromWin32(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool DeviceIoControl(Handle device, uint32_t code, const void* in, uint32_t inLen, void* out,
                     uint32_t outLen, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  if (device == nullptr || (in == nullptr && inLen != 0) || (out == nullptr && outLen != 0)) {
    return false;
  }
  if (local_devices::IsOpen(device)) {
    return local_devices::Control(device, code, in, inLen, out, outLen, returned);
  }
  DWORD produced = 0;
  const BOOL ok = ::DeviceIoControl(device, code, const_cast<void*>(in), inLen, out, outLen,
                                    &produced, nullptr);
  if (returned != nullptr) *returned = produced > outLen ? outLen : produced;
  return ok != FALSE;
}

}  // namespace os
