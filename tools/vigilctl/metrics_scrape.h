// One scrape of the block for `metrics` and `serve-metrics`: attach, refresh, format.
#pragma once

#include <cstdint>
#include <string>

namespace vigilctl {

// How long a scrape waits for the agent's refresh before it shows the last values.
constexpr uint32_t kMetricsRefreshTimeoutMs = 2000;

class MetricsScraper {
 public:
  MetricsScraper(bool refresh, uint32_t refreshTimeoutMs) : refresh_(refresh), timeoutMs_(refreshTimeoutMs) {}

  // The exposition, and in *exitCode kExitOk, kExitNoAnswer (refresh failed: last values and
  // vigil_scrape_refresh_success 0) or kExitNoBlock (no block: vigil_agent_up 0 alone). A
  // block that appears later is attached by the next scrape. Not thread-safe: one scrape at a
  // time (two refreshes at once would answer each other's reply event).
  std::string Scrape(int* exitCode);

 private:
  bool refresh_;
  uint32_t timeoutMs_;
  uint8_t* block_ = nullptr;
  bool modelRead_ = false;  // the model is read from the driver once it has answered
  std::string model_;
  uint16_t logDataSize_ = 0;  // from the same read as the model; 0: no log to judge
};

// Writes `text` to DIR/vigilagent.prom as a whole: a temporary file in DIR (mode 0644, so an
// exporter running as another user reads it) renamed over the old one. Other files in DIR are
// not touched; a failed write leaves the old file and no temporary behind. Returns kExitOk,
// or prints why and returns kExitFailed.
int WriteTextfile(const std::string& dir, const std::string& text);

constexpr const char* kTextfileName = "vigilagent.prom";

}  // namespace vigilctl
