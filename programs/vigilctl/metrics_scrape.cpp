#include "metrics_scrape.h"

#include <cmath>

#include "agent_liveness.h"
#include "agent_request.h"
#include "client_block.h"
#include "command.h"
#include "contract/block_layout.h"
#include "log_utilization.h"
#include "metrics_text.h"
#include "platform_model.h"

namespace vigilctl {

std::string MetricsScraper::Compose(int* exitCode, bool ask, RefreshOutcome last, double ageSeconds) {
  // A block cut short or made anew since we attached: the agent publishes the one at its name.
  if (block_ != nullptr && AttachedBlockReplaced()) block_ = nullptr;
  if (block_ == nullptr && AttachBlock(&block_) != kExitOk) {
    block_ = nullptr;
    *exitCode = kExitNoBlock;
    return FormatMetrics({nullptr, {}, ask || refresh_ ? RefreshOutcome::kFailed : RefreshOutcome::kNotAsked});
  }
  if (!platformRead_) platformRead_ = ReadPlatformIdentity(&platform_);
  *exitCode = kExitOk;
  bool up = AgentStarted(block_) && ServiceReportsRunning();
  RefreshOutcome refresh = last;
  if (ask) {
    up = up && SendRequest(block_, vigil::kRequestRefreshAll, true, timeoutMs_) == kExitOk;
    refresh = up ? RefreshOutcome::kDone : RefreshOutcome::kFailed;
    if (!up) *exitCode = kExitNoAnswer;
  } else {
    up = up && last != RefreshOutcome::kFailed && RequestChannelHeld();
    if (!up && last != RefreshOutcome::kNotAsked) *exitCode = kExitNoAnswer;
  }
  // Readings nobody refreshed are not current: a scraper that refreshes shows none of them
  // while no agent answers. Without refresh the block is shown as it stands.
  const bool shown = up || (!ask && !refresh_ && last == RefreshOutcome::kNotAsked);
  MetricsSource source{shown ? block_ : nullptr, platform_, refresh};
  source.agentUp = up;
  if (shown && ageSeconds >= 0) source.refreshAgeSeconds = ageSeconds;
  if (shown && !ReadLogUtilization(platform_.logDataSize, &source.logUtilization)) source.logUtilization = kNoLogUtilization;
  return FormatMetrics(source);
}

std::string SharedScraper::Scrape() {
  std::lock_guard<std::mutex> lock(mutex_);
  int rc = 0;
  const auto now = std::chrono::steady_clock::now();
  if (refreshed_ && now - lastAt_ < interval_) {
    const double age = std::chrono::duration<double>(now - lastAt_).count();
    return scraper_.ScrapeCached(&rc, last_, std::round(age * 1000) / 1000);
  }
  std::string text = scraper_.ScrapeFresh(&rc);
  // Failed refreshes count too: a dead or hung agent is not asked again before the interval.
  refreshed_ = true;
  lastAt_ = std::chrono::steady_clock::now();
  last_ = rc == kExitOk ? RefreshOutcome::kDone : RefreshOutcome::kFailed;
  return text;
}

}  // namespace vigilctl
