// A platform provider that is present but answers every request with a failure: with it the
// agent's start-up succeeds (nothing identified, empty inventory) and the poll cycle runs.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace vigil::test {

class SilentDriver {
 public:
  // Listens on `socketPath` (the device socket under the sandbox root) until destroyed.
  explicit SilentDriver(const std::string& socketPath);
  ~SilentDriver();
  SilentDriver(const SilentDriver&) = delete;
  SilentDriver& operator=(const SilentDriver&) = delete;

  bool listening() const { return listenFd_ >= 0; }
  int exchanges() const { return exchanges_.load(); }

 private:
  void Serve();
  void ServeConnection(int fd);

  int listenFd_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> exchanges_{0};
  std::thread thread_;
};

}  // namespace vigil::test
