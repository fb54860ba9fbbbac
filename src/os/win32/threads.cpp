// Detached threads and sleeping.
#include <new>

#include "os/win32/win32_api.h"

namespace os {
namespace {

struct ThreadStart {
  ThreadFn fn;
  void* arg;
};

DWORD WINAPI RunThread(void* param) {
  const ThreadStart start = *static_cast<ThreadStart*>(param);
  delete static_cast<ThreadStart*>(param);
  start.fn(start.arg);
  return 0;
}

}  // namespace

bool StartThread(ThreadFn fn, void* arg) {
  if (fn == nullptr) return false;
  auto* start = new (std::nothrow) ThreadStart{fn, arg};
  if (start == nullptr) return false;
  HANDLE thread = ::CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return false;
  }
  // The thread is not joined by anybody; its handle is not needed.
  ::CloseHandle(thread);
  return true;
}

void SleepMs(uint32_t ms) { ::Sleep(ms); }

}  // namespace os
