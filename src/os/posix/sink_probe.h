// Whether a system log's socket is there to send to, asked at most once a second while it is
// not: a run of reports on a system without the log (a container, an initramfs) then costs no
// system call each, and a log that starts later is still found.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace os::posix {

class SinkProbe {
 public:
  explicit SinkProbe(const char* socketPath) : path_(socketPath) {}

  // True once the socket has been seen; a log that later goes away is the sender's to notice.
  bool Present() {
    if (present_.load(std::memory_order_acquire)) return true;
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch()).count();
    std::int64_t next = nextLookMs_.load(std::memory_order_relaxed);
    if (now < next || !nextLookMs_.compare_exchange_strong(next, now + kLookAgainMs)) return false;
    if (access(path_, W_OK) != 0) return false;
    present_.store(true, std::memory_order_release);
    return true;
  }

 private:
  static constexpr std::int64_t kLookAgainMs = 1000;
  const char* path_;
  std::atomic<bool> present_{false};
  std::atomic<std::int64_t> nextLookMs_{0};
};

}  // namespace os::posix
