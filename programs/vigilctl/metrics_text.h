// The block as Prometheus metrics: the text exposition format, version 0.0.4.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform_model.h"

namespace vigilctl {

enum class RefreshOutcome { kNotAsked, kDone, kFailed };

constexpr int32_t kNoLogUtilization = -1;

struct MetricsSource {
  const uint8_t* block;     // null when there is no block: only the agent-down families
  PlatformIdentity platform;  // labels of vigil_agent_info; "" where unknown
  RefreshOutcome refresh;   // kNotAsked leaves vigil_scrape_refresh_success out
  int32_t logUtilization = kNoLogUtilization;  // per cent; kNoLogUtilization leaves its family out
  bool agentUp = true;      // false: the caller found no agent running and answering
  double refreshAgeSeconds = -1;  // age of the readings; negative leaves it out
};

// The whole exposition, every family with # HELP and # TYPE and its samples together. Reads
// the block once per field (copies of each record) and never past it, whatever it holds.
// Any thread; never fails.
std::string FormatMetrics(const MetricsSource& source);

// A label value as the format wants it, between its quotes: backslash, double quote and line
// feed escaped; every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string LabelValue(std::string_view text);
// A sample value: shortest text that reads back to the same number; NaN, +Inf, -Inf.
std::string SampleValue(double value);

}  // namespace vigilctl
