// A running `vigilctl serve-metrics` on a free loopback port, and raw connections to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace vigil::test {

class MetricsServerProbe {
 public:
  // Starts serve-metrics on 127.0.0.1:0 with `args` and waits for the port it prints;
  // port() is 0 when it did not come up.
  explicit MetricsServerProbe(const std::vector<std::string>& args);
  ~MetricsServerProbe();

  int port() const { return port_; }
  Process& process() { return *process_; }
  // A connected TCP socket (fd), or -1.
  int ConnectRaw() const;
  // Connects, sends `bytes` (as far as the server takes them) and closes.
  void SendRaw(const std::string& bytes) const;
  void CloseRaw(int fd) const;
  // SIGTERM; true when it exited with status 0 within a few seconds.
  bool Stop();

 private:
  std::unique_ptr<Process> process_;
  int port_ = 0;
};

// A connected Unix stream socket (fd), or -1.
int ConnectUnix(const std::string& path);
// Sends `request` on the connected `fd`, reads until the server closes or 5 s pass without a
// byte, closes `fd`, and returns what came back.
std::string Exchange(int fd, const std::string& request);

}  // namespace vigil::test
