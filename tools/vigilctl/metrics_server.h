// The HTTP side of serve-metrics: GET /metrics on a bounded cpp-httplib server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "metrics_scrape.h"

namespace vigilctl {

constexpr const char* kDefaultPort = "9764";
constexpr const char* kDefaultListen = "127.0.0.1:9764";
constexpr unsigned kDefaultServerThreads = 4;

struct MetricsServerOptions {
  std::string host = "127.0.0.1";
  int port = 9764;
  unsigned threads = kDefaultServerThreads;
  uint32_t refreshTimeoutMs = kMetricsRefreshTimeoutMs;
};

// "ADDR:PORT", ADDR an IPv4 address, a host name or a bracketed IPv6 address ("[::1]:9764");
// PORT 0 to 65535 (0: any free port, printed at start). False for anything else.
bool ParseListenAddress(const std::string& text, std::string* host, int* port);

class MetricsServer {
 public:
  explicit MetricsServer(const MetricsServerOptions& options);
  ~MetricsServer();

  // Binds the listening socket. False when the address cannot be bound.
  bool Bind();
  // "ADDR:PORT" as bound.
  std::string Address() const;
  // Serves until Stop(); each connection on one of `threads` workers, with read and write
  // timeouts and bounded request sizes. False when serving failed. Calling thread.
  bool Serve();
  // Any thread, also before Serve() has started.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vigilctl
