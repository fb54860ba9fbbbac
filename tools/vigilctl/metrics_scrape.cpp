#include "metrics_scrape.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "agent_request.h"
#include "client_block.h"
#include "command.h"
#include "contract/block_layout.h"
#include "log_utilization.h"
#include "metrics_text.h"
#include "platform_model.h"

namespace vigilctl {

std::string MetricsScraper::Scrape(int* exitCode) {
  if (block_ == nullptr && AttachBlock(&block_) != kExitOk) {
    block_ = nullptr;
    *exitCode = kExitNoBlock;
    return FormatMetrics({nullptr, {}, refresh_ ? RefreshOutcome::kFailed : RefreshOutcome::kNotAsked});
  }
  if (!platformRead_) platformRead_ = ReadPlatformIdentity(&platform_);
  RefreshOutcome refresh = RefreshOutcome::kNotAsked;
  *exitCode = kExitOk;
  if (refresh_) {
    const bool done = AgentStarted(block_) && SendRequest(block_, vigil::kRequestRefreshAll, true, timeoutMs_) == kExitOk;
    refresh = done ? RefreshOutcome::kDone : RefreshOutcome::kFailed;
    if (!done) *exitCode = kExitNoAnswer;
  }
  MetricsSource source{block_, platform_, refresh};
  if (!ReadLogUtilization(platform_.logDataSize, &source.logUtilization)) source.logUtilization = kNoLogUtilization;
  return FormatMetrics(source);
}

int WriteTextfile(const std::string& dir, const std::string& text) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    std::fprintf(stderr, "vigilctl: %s is not a directory\n", dir.c_str());
    return kExitFailed;
  }
  // A name the collectors skip (they read *.prom), unique to this writer.
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%08x.tmp", unsigned(std::random_device{}()));
  const fs::path target = fs::path(dir) / kTextfileName;
  const fs::path temporary = fs::path(dir) / (std::string(".") + kTextfileName + suffix);
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) written = std::fclose(file) == 0 && written;
  if (written) {
    fs::permissions(temporary,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
                    error);
    written = !error;
  }
  if (written) {
    fs::rename(temporary, target, error);
    written = !error;
  }
  if (!written) {
    std::fprintf(stderr, "vigilctl: cannot write %s: %s\n", target.string().c_str(),
                 error ? error.message().c_str() : "write failed");
    if (file != nullptr) fs::remove(temporary, error);
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace vigilctl
