// vigilctl serve-metrics [--listen ADDR:PORT|unix:PATH] [--threads N] [--refresh-timeout MS]
//                       [--refresh-interval MS]:
// GET /metrics over HTTP for a Prometheus server, refreshing the readings at most once per
// interval however often it is scraped.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "command.h"
#include "metrics_scrape.h"
#include "metrics_server.h"

namespace vigilctl {
namespace {

volatile std::sig_atomic_t gStopRequested = 0;
void OnStopSignal(int) { gStopRequested = 1; }

int Usage() {
  std::fprintf(stderr,
               "usage: vigilctl serve-metrics [--listen ADDR:PORT|unix:PATH] [--threads N] [--refresh-timeout MS] "
               "[--refresh-interval MS]\n"
               "  default --listen %s, --threads %u, --refresh-timeout %u, --refresh-interval %u\n",
               kDefaultListen, kDefaultServerThreads, kMetricsRefreshTimeoutMs, kMetricsRefreshIntervalMs);
  return kExitUsage;
}

bool ParseNumber(const char* text, unsigned long min, unsigned long max, unsigned long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtoul(text, &end, 10);
  return *text >= '0' && *text <= '9' && *end == '\0' && errno == 0 && *value >= min && *value <= max;
}

}  // namespace

int RunServeMetrics(int argc, char** argv) {
  MetricsServerOptions options;
  const char* listen = kDefaultListen;
  for (int i = 1; i < argc; ++i) {
    unsigned long number = 0;
    if (std::strcmp(argv[i], "--listen") == 0 && i + 1 < argc) {
      listen = argv[++i];
    } else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc && ParseNumber(argv[++i], 1, 64, &number)) {
      options.threads = unsigned(number);
    } else if (std::strcmp(argv[i], "--refresh-timeout") == 0 && i + 1 < argc &&
               ParseNumber(argv[++i], 0, 60000, &number)) {
      options.refreshTimeoutMs = uint32_t(number);
    } else if (std::strcmp(argv[i], "--refresh-interval") == 0 && i + 1 < argc &&
               ParseNumber(argv[++i], 0, 3600000, &number)) {
      options.refreshIntervalMs = uint32_t(number);
    } else {
      return Usage();
    }
  }
  const std::size_t prefix = std::strlen(kUnixListenPrefix);
  if (std::strncmp(listen, kUnixListenPrefix, prefix) == 0) {
#ifdef _WIN32
    std::fprintf(stderr, "vigilctl: --listen unix:PATH is for Linux\n");
    return kExitUsage;
#else
    options.unixPath = listen + prefix;
#endif
  } else if (!ParseListenAddress(listen, &options.host, &options.port)) {
    std::fprintf(stderr,
                 "vigilctl: --listen wants ADDR:PORT (\"%s\", \"[::1]:PORT\") or unix:PATH, not \"%s\"\n",
                 kDefaultListen, listen);
    return kExitUsage;
  }

  MetricsServer server(options);
  if (server.Bind() != 0) {
    std::fprintf(stderr, "vigilctl: cannot listen on %s\n", listen);
    return kExitFailed;
  }
  std::printf("vigilctl: serving /metrics on %s\n", server.Address().c_str());
  std::fflush(stdout);

  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  // Signal handlers may only set a flag: a watcher turns it into a server stop.
  std::atomic<bool> served{false};
  std::thread watcher([&] {
    while (!gStopRequested && !served.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
  });
  const int result = server.Serve();
  served.store(true);
  watcher.join();
  return result == 0 || gStopRequested ? kExitOk : kExitFailed;
}

}  // namespace vigilctl
