#include "in_process.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "contract/driver_protocol.h"
#include "os/os.h"

namespace hwsim {

namespace {

// METHOD_BUFFERED: one system buffer that starts as the input and receives the output;
// only the bytes the device reports are copied back.
bool ServeLocal(void* context, uint32_t code, const void* in, uint32_t inLen, void* out,
                uint32_t outLen, uint32_t* returned) {
  std::vector<uint8_t> buffer(std::max(inLen, outLen), 0);
  if (in != nullptr && inLen != 0) std::memcpy(buffer.data(), in, inLen);
  uint32_t count = 0;
  bool ok;
  {
    std::lock_guard<std::mutex> lock(InProcessLock());
    ok = Serve(*static_cast<Core*>(context), code, buffer.data(), inLen, outLen, &count);
  }
  if (ok && out != nullptr) std::memcpy(out, buffer.data(), std::min(count, outLen));
  if (returned != nullptr) *returned = ok ? count : 0;
  return ok;
}

}  // namespace

std::mutex& InProcessLock() {
  static std::mutex lock;
  return lock;
}

void AttachInProcess(Core* core) { os::RegisterLocalDevice(vigil::kDriverPath, ServeLocal, core); }

void DetachInProcess() { os::RegisterLocalDevice(vigil::kDriverPath, nullptr, nullptr); }

}  // namespace hwsim
