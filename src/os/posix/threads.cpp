// Threads and sleeping.
#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <new>

#include "os/os.h"

namespace os {
namespace {

struct ThreadStart {
  ThreadFn fn;
  void* arg;
};

void* RunThread(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.fn(start.arg);
  return nullptr;
}

}  // namespace

bool StartThread(ThreadFn fn, void* arg) {
  if (fn == nullptr) return false;
  auto* start = new (std::nothrow) ThreadStart{fn, arg};
  if (start == nullptr) return false;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    delete start;
    return false;
  }
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, RunThread, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete start;
    return false;
  }
  return true;
}

void SleepMs(uint32_t ms) {
  timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // A signal handler elsewhere in the process must not cut the sleep short.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace os
