// Threads and sleeping with the standard library.
#include <chrono>
#include <system_error>
#include <thread>

#include "os/os.h"

namespace os {

bool StartThread(ThreadFn fn, void* arg) {
  if (fn == nullptr) return false;
  try {
    std::thread(fn, arg).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace os
