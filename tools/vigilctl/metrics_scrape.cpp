#include "metrics_scrape.h"


#include "agent_request.h"
#include "client_block.h"
#include "command.h"
#include "contract/block_layout.h"
#include "metrics_text.h"
#include "platform_model.h"

namespace vigilctl {

std::string MetricsScraper::Scrape(int* exitCode) {
  if (block_ == nullptr && AttachBlock(&block_) != kExitOk) {
    block_ = nullptr;
    *exitCode = kExitNoBlock;
    return FormatMetrics({nullptr, "", refresh_ ? RefreshOutcome::kFailed : RefreshOutcome::kNotAsked});
  }
  if (!modelRead_) modelRead_ = ReadPlatformModel(&model_);
  RefreshOutcome refresh = RefreshOutcome::kNotAsked;
  *exitCode = kExitOk;
  if (refresh_) {
    const bool done = AgentStarted(block_) && SendRequest(block_, vigil::kRequestRefreshAll, true, timeoutMs_) == kExitOk;
    refresh = done ? RefreshOutcome::kDone : RefreshOutcome::kFailed;
    if (!done) *exitCode = kExitNoAnswer;
  }
  return FormatMetrics({block_, model_, refresh});
}

}  // namespace vigilctl
