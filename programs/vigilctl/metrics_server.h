// The HTTP side of serve-metrics: GET /metrics on a bounded HTTP server (libmicrohttpd; Linux
// only).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "metrics_scrape.h"

namespace vigilctl {

// Where serve-metrics listens unless --listen says otherwise.
constexpr const char* kDefaultListen = "127.0.0.1:9764";
constexpr unsigned kDefaultServerThreads = 4;

struct MetricsServerOptions {
  std::string host;  // host and port: ParseListenAddress of --listen or kDefaultListen
  int port = 0;
  std::string unixPath;  // not empty: listen on this Unix socket (mode 0660, the access group)
  unsigned threads = kDefaultServerThreads;
  uint32_t refreshTimeoutMs = kMetricsRefreshTimeoutMs;
  uint32_t refreshIntervalMs = kMetricsRefreshIntervalMs;
};

constexpr const char* kUnixListenPrefix = "unix:";

// "ADDR:PORT", ADDR an IPv4 address, a host name or a bracketed IPv6 address ("[::1]:9764");
// PORT 0 to 65535 (0: any free port, printed at start). False for anything else.
bool ParseListenAddress(const std::string& text, std::string* host, int* port);

class MetricsServer {
 public:
  explicit MetricsServer(const MetricsServerOptions& options);
  ~MetricsServer();

  // Binds the listening socket. 0 success, -1 when the address cannot be bound.
  int Bind();
  // "ADDR:PORT" or "unix:PATH" as bound.
  std::string Address() const;
  // Serves until Stop(); connections are spread over `threads` event loops, each with a
  // bounded memory pool, an idle timeout and a cap on their number. 0 once stopped, -1 when
  // serving failed. Calling thread.
  int Serve();
  // Any thread, also before Serve() has started.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vigilctl
