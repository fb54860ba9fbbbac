// A platform provider for tests: listens on the sandbox's /run/<name>.sock and answers each
// request frame with whatever the test's script returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "contract/device_frames.h"

namespace vigil::test {

class FrameServer {
 public:
  struct Request {
    vigil::frames::RequestHeader header;
    std::string input;
  };
  // Returns the raw bytes to send back; `close` set to true drops the connection after them.
  using Script = std::function<std::string(const Request& request, bool* close)>;

  FrameServer(const std::string& socketPath, Script script);
  ~FrameServer();
  FrameServer(const FrameServer&) = delete;
  FrameServer& operator=(const FrameServer&) = delete;

  int connections() const { return connections_.load(); }

  // A well-formed response frame.
  static std::string Response(bool success, const std::string& payload);
  static std::string Header(uint32_t magic, uint32_t success, uint32_t returned);

 private:
  void Serve();
  void ServeConnection(int fd);

  int listener_ = -1;
  std::string path_;
  Script script_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

}  // namespace vigil::test
