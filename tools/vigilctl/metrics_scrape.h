// One scrape of the block for `metrics` and `serve-metrics`: attach, refresh, format.
#pragma once

#include <cstdint>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
};

// Writes `text` to DIR/vigilagent.prom as a whole: a temporary file in DIR, made fresh (never
// through a link) with mode 0644 so an exporter running as another user reads it, renamed over
// the old one. Other files in DIR are not touched; a failed write leaves the old file and no
// temporary behind. A folder that other users may write to is refused unless it is sticky and
// ours (see TextfileFolderSafe). Returns kExitOk, or prints why (with the errno name) and
// returns kExitFailed.
int WriteTextfile(const std::string& dir, const std::string& text);

#ifndef _WIN32
// Whether a folder with this status is safe to write the textfile into for user `us`.
bool TextfileFolderSafe(const struct stat& st, unsigned us);
#endif

constexpr const char* kTextfileName = "vigilagent.prom";

}  // namespace vigilctl
