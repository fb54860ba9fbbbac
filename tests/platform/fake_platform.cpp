#include "fake_platform.h"

#include <cstring>

#include "os/os.h"
#include "agent/platform/driver_channel.h"

namespace vigil::test {

FakePlatform::FakePlatform() { os::RegisterLocalDevice(kDriverPath, &FakePlatform::Serve, this); }

FakePlatform::~FakePlatform() {
  CloseDriverChannel();
  os::RegisterLocalDevice(kDriverPath, nullptr, nullptr);
}

bool FakePlatform::Serve(void* context, uint32_t code, const void*, uint32_t inLen, void* out,
                         uint32_t outLen, uint32_t* returned) {
  auto* self = static_cast<FakePlatform*>(context);
  self->exchanges.push_back({code, inLen, outLen});
  if (self->fail) return false;
  if (code == kIoctlReadSmbiosTable && self->failTableReads > 0) {
    --self->failTableReads;
    return false;
  }
  if (code == kIoctlReadSmbiosTable) {
    std::memset(out, 0, outLen);
    if (!self->table.empty()) {
      std::memcpy(out, self->table.data(), self->table.size() < outLen ? self->table.size() : outLen);
    }
  } else if (code == kIoctlDeviceCommand && outLen >= kCommandBlockSize) {
    static_cast<uint8_t*>(out)[kCommandResponseOffset] = 0x5A;  // something the caller can see
  }
  *returned = outLen;
  return true;
}

}  // namespace vigil::test
