// A real Prometheus server in a sandbox, scraping one target on loopback every second, and
// instant queries against it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace vigil::test {

struct PrometheusAlerting {
  std::vector<std::string> ruleFiles;  // evaluated every second
  int alertmanagerPort = 0;            // 0: no Alertmanager
};

class PrometheusServer {
 public:
  PrometheusServer(const Sandbox& sandbox, int targetPort, const PrometheusAlerting& alerting = {});
  ~PrometheusServer();

  // The value of an instant query's single sample, or nothing (no sample yet, server not up).
  std::optional<double> Query(const std::string& promql);
  // Polls `promql` until `accept` takes its value, for at most `timeout`.
  std::optional<double> WaitFor(const std::string& promql, const std::function<bool(double)>& accept,
                                std::chrono::milliseconds timeout);

  Process& process() { return *process_; }

 private:
  int port_;
  std::unique_ptr<Process> process_;
};

}  // namespace vigil::test
