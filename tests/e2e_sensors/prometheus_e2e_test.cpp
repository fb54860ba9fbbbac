// A real Prometheus server scraping serve-metrics in front of the agent and the simulator, all
// in one sandbox on loopback: what an administrator's Prometheus would store and alert on.
#include <gtest/gtest.h>
#include <signal.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>

#include "agent_harness.h"
#include "metrics_server_probe.h"
#include "scenario_sensors.h"
#include "support/sandbox.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

class PrometheusServer {
 public:
  PrometheusServer(const Sandbox& sandbox, int targetPort) : port_(FreeLoopbackPort()) {
    sandbox.WriteFile("prometheus/prometheus.yml",
                      "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                      "scrape_configs:\n  - job_name: vigil\n    static_configs:\n"
                      "      - targets: ['127.0.0.1:" + std::to_string(targetPort) + "']\n");
    process_ = std::make_unique<Process>(
        "/usr/bin/prometheus",
        std::vector<std::string>{"--config.file=" + sandbox.Path("prometheus/prometheus.yml"),
                                 "--storage.tsdb.path=" + sandbox.Path("prometheus/data"),
                                 "--web.listen-address=127.0.0.1:" + std::to_string(port_), "--log.level=warn"});
  }
  ~PrometheusServer() {
    process_->Signal(SIGTERM);
    if (process_->Wait(15s) < 0) process_->Signal(SIGKILL);
  }

  // The value of an instant query's single sample, or nothing (no sample yet, server not up).
  std::optional<double> Query(const std::string& promql) {
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(1, 0);
    client.set_read_timeout(5, 0);
    auto response = client.Get("/api/v1/query", httplib::Params{{"query", promql}}, httplib::Headers{});
    if (!response || response->status != 200) return std::nullopt;
    nlohmann::json body = nlohmann::json::parse(response->body, nullptr, false);
    if (body.is_discarded() || body["data"]["result"].size() != 1) return std::nullopt;
    return std::stod(body["data"]["result"][0]["value"][1].get<std::string>());
  }

  // Polls `promql` until `accept` takes its value, for at most `timeout`.
  std::optional<double> WaitFor(const std::string& promql, const std::function<bool(double)>& accept,
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

  Process& process() { return *process_; }

 private:
  int port_;
  std::unique_ptr<Process> process_;
};

TEST(PrometheusE2eTest, ScrapedTemperaturesFollowTheSimulatorAndBiosEventsAreCounted) {
  const ScenarioTable table = LoadScenarioTable("kelvo-b720.json");
  const ExpectedSensor* probe = nullptr;
  std::size_t index = 0;
  for (std::size_t i = 0; i < table.sensors.size() && probe == nullptr; ++i) {
    if (table.sensors[i].sensorType == 1 && table.sensors[i].raw != 0x8000) probe = &table.sensors[index = i];
  }
  ASSERT_NE(probe, nullptr);
  AgentHarness h("kelvo-b720.json");
  ASSERT_TRUE(h.started());
  MetricsServerProbe server({});
  ASSERT_GT(server.port(), 0) << server.process().Stderr();
  PrometheusServer prometheus(h.sandbox(), server.port());

  const std::string temperature = "vigil_temperature_celsius{index=\"" + std::to_string(index) + "\"}";
  const double before = ExpectedReading(1, probe->raw);
  auto near = [](double want) { return [want](double got) { return std::abs(got - want) < 0.01; }; };
  std::optional<double> seen = prometheus.WaitFor(temperature, near(before), 30s);
  ASSERT_TRUE(seen && near(before)(*seen)) << (seen ? *seen : -1) << prometheus.process().Stderr();

  const uint16_t raw = uint16_t(probe->raw + 123);
  ASSERT_EQ(h.Ctl({"set-sensor", std::to_string(probe->handle), std::to_string(raw), "0x60"}).status, 0);
  seen = prometheus.WaitFor(temperature, near(ExpectedReading(1, raw)), 15s);
  EXPECT_TRUE(seen && near(ExpectedReading(1, raw))(*seen)) << (seen ? *seen : -1);

  const std::optional<double> events = prometheus.Query("vigil_bios_events_total");
  ASSERT_TRUE(events);
  ASSERT_EQ(h.Ctl({"append-record", "01 0C 24 03 15 10 20 30 29 00 00 00"}).status, 0);
  // The agent polls the log every six seconds; Prometheus scrapes every second.
  seen = prometheus.WaitFor("vigil_bios_events_total", [&](double v) { return v == *events + 1; }, 20s);
  EXPECT_TRUE(seen && *seen == *events + 1) << (seen ? *seen : -1) << " after " << *events;
}

}  // namespace
}  // namespace vigil::test
