// One scrape of the block for `metrics` and `serve-metrics`: attach, refresh, format.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "metrics_text.h"
#include "platform_model.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vigilctl {

// How long a scrape waits for the agent's refresh before it gives up on it.
constexpr uint32_t kMetricsRefreshTimeoutMs = 2000;
// serve-metrics asks the agent for fresh readings at most once per this interval.
constexpr uint32_t kMetricsRefreshIntervalMs = 5000;

class MetricsScraper {
 public:
  MetricsScraper(bool refresh, uint32_t refreshTimeoutMs) : refresh_(refresh), timeoutMs_(refreshTimeoutMs) {}

  // The exposition, and in *exitCode kExitOk, kExitNoAnswer (refresh failed) or kExitNoBlock
  // (no block). vigil_agent_up is 1 only while an agent is running and answering: it has
  // started in this block, its service status (where readable) says RUNNING, its request
  // channel is held and, when asked, it refreshed. While it is 0 a refreshing scraper serves
  // no readings at all; without refresh (`metrics --no-refresh`) the block is shown as it
  // stands. A block that appears later, or replaces the one attached, is attached by the next
  // scrape. Not thread-safe: one scrape at a time (two refreshes at once would answer each
  // other's reply event).
  std::string Scrape(int* exitCode) { return Compose(exitCode, refresh_, RefreshOutcome::kNotAsked, -1); }
  // For a server between refreshes: the readings as the block holds them, with the outcome
  // of the refresh `ageSeconds` ago; the agent is not asked.
  std::string ScrapeCached(int* exitCode, RefreshOutcome last, double ageSeconds) {
    return Compose(exitCode, false, last, ageSeconds);
  }
  // A refreshing scrape that also says how old its readings are (0).
  std::string ScrapeFresh(int* exitCode) { return Compose(exitCode, true, RefreshOutcome::kNotAsked, 0); }

 private:
  std::string Compose(int* exitCode, bool ask, RefreshOutcome last, double ageSeconds);

  bool refresh_;
  uint32_t timeoutMs_;
  uint8_t* block_ = nullptr;
  bool platformRead_ = false;  // the identity is read from the driver once it has answered
  PlatformIdentity platform_;
};

// The scrapes of a server: thread-safe; concurrent scrapes share one refresh, and the agent is
// asked at most once per `intervalMs` (a scrape in between serves the block's last values with
// their age), so however often clients scrape they cannot drive the hardware harder than that.
class SharedScraper {
 public:
  SharedScraper(uint32_t refreshTimeoutMs, uint32_t intervalMs)
      : scraper_(true, refreshTimeoutMs), interval_(intervalMs) {}
  std::string Scrape();

 private:
  std::mutex mutex_;
  MetricsScraper scraper_;
  std::chrono::milliseconds interval_;
  bool refreshed_ = false;
  RefreshOutcome last_ = RefreshOutcome::kFailed;
  std::chrono::steady_clock::time_point lastAt_;
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
