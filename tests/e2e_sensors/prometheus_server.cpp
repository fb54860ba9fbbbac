#include "prometheus_server.h"

#include <signal.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <thread>

#include "metrics_server_probe.h"
#include "support/wait_until.h"

namespace vigil::test {

using namespace std::chrono_literals;

PrometheusServer::PrometheusServer(const Sandbox& sandbox, int targetPort, const PrometheusAlerting& alerting)
    : port_(FreeLoopbackPort()) {
  std::string config =
      "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
      "scrape_configs:\n  - job_name: vigil\n    static_configs:\n"
      "      - targets: ['127.0.0.1:" + std::to_string(targetPort) + "']\n";
  if (!alerting.ruleFiles.empty()) {
    config += "rule_files:\n";
    for (const std::string& file : alerting.ruleFiles) config += "  - '" + file + "'\n";
  }
  if (alerting.alertmanagerPort != 0) {
    config += "alerting:\n  alertmanagers:\n    - static_configs:\n        - targets: ['127.0.0.1:" +
              std::to_string(alerting.alertmanagerPort) + "']\n";
  }
  sandbox.WriteFile("prometheus/prometheus.yml", config);
  process_ = std::make_unique<Process>(
      "/usr/bin/prometheus",
      std::vector<std::string>{"--config.file=" + sandbox.Path("prometheus/prometheus.yml"),
                               "--storage.tsdb.path=" + sandbox.Path("prometheus/data"),
                               "--web.listen-address=127.0.0.1:" + std::to_string(port_), "--log.level=warn"});
}

PrometheusServer::~PrometheusServer() {
  process_->Signal(SIGTERM);
  if (process_->Wait(15s) < 0) process_->Signal(SIGKILL);
}

std::optional<double> PrometheusServer::Query(const std::string& promql) {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(1, 0);
  client.set_read_timeout(5, 0);
  auto response = client.Get("/api/v1/query", httplib::Params{{"query", promql}}, httplib::Headers{});
  if (!response || response->status != 200) return std::nullopt;
  nlohmann::json body = nlohmann::json::parse(response->body, nullptr, false);
  if (body.is_discarded() || body["data"]["result"].size() != 1) return std::nullopt;
  return std::stod(body["data"]["result"][0]["value"][1].get<std::string>());
}

std::optional<double> PrometheusServer::WaitFor(const std::string& promql, const std::function<bool(double)>& accept,
                                                std::chrono::milliseconds timeout) {
  std::optional<double> last;
  WaitUntil(
      [&] {
        last = Query(promql);
        if (last && accept(*last)) return true;
        std::this_thread::sleep_for(200ms);
        return false;
      },
      timeout);
  return last;
}

}  // namespace vigil::test
