// vigilctl metrics [--no-refresh] [--textfile DIR]: the block as Prometheus metrics.
#include <cstdio>
#include <cstring>
#include <string>

#include "command.h"
#include "metrics_scrape.h"

namespace vigilctl {

int RunMetrics(int argc, char** argv) {
  bool refresh = true;
  const char* textfileDir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-refresh") == 0) {
      refresh = false;
    } else if (std::strcmp(argv[i], "--textfile") == 0 && i + 1 < argc) {
      textfileDir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: vigilctl metrics [--no-refresh] [--textfile DIR]\n");
      return kExitUsage;
    }
  }
  MetricsScraper scraper(refresh, kMetricsRefreshTimeoutMs);
  int scraped = kExitOk;
  const std::string text = scraper.Scrape(&scraped);
  // Without a block or an answer the exposition still says so (vigil_agent_up 0, refresh 0):
  // a textfile left as it was would go on showing the last good values.
  if (textfileDir != nullptr) {
    if (int rc = WriteTextfile(textfileDir, text); rc != kExitOk) return rc;
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return scraped;
}

}  // namespace vigilctl
