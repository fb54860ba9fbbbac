// The shipped alert rules reaching a person's receiver: a real Prometheus scrapes serve-metrics
// in front of the agent and the simulator and evaluates the rules, a real Alertmanager sends
// its notifications to a webhook in this test. Everything listens on loopback.
#include <gtest/gtest.h>
#include <signal.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "support/agent_rig.h"
#include "contract/block_layout.h"
#include "metrics_server_probe.h"
#include "prometheus_server.h"
#include "scenario_sensors.h"
#include "support/wait_until.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

// Alertmanager's webhook receiver: keeps every alert of every notification.
class WebhookReceiver {
 public:
  WebhookReceiver() {
    server_.Post("/alerts", [this](const httplib::Request& request, httplib::Response& response) {
      const json body = json::parse(request.body, nullptr, false);
      if (!body.is_discarded() && body.contains("alerts") && body["alerts"].is_array()) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const json& alert : body["alerts"]) alerts_.push_back(alert);
      }
      response.status = 200;
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ > 0) thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~WebhookReceiver() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }

  int port() const { return port_; }

  // The first alert received that `match` takes, waiting for it at most `timeout`.
  std::optional<json> WaitFor(const std::function<bool(const json&)>& match, std::chrono::milliseconds timeout) {
    std::optional<json> found;
    WaitUntil(
        [&] {
          {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const json& alert : alerts_) {
              if (match(alert)) {
                found = alert;
                return true;
              }
            }
          }
          std::this_thread::sleep_for(200ms);
          return false;
        },
        timeout);
    return found;
  }

  std::string Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return json(alerts_).dump(1);
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<json> alerts_;
};

// Notifies the webhook of every alert, grouped per alert and sensor, within a second or two.
class Alertmanager {
 public:
  Alertmanager(const Sandbox& sandbox, int webhookPort) : port_(FreeLoopbackPort()) {
    sandbox.WriteFile("alertmanager/alertmanager.yml",
                      "route:\n  receiver: webhook\n  group_by: [alertname, instance, sensor]\n"
                      "  group_wait: 1s\n  group_interval: 1s\n  repeat_interval: 1h\n"
                      "receivers:\n  - name: webhook\n    webhook_configs:\n"
                      "      - url: 'http://127.0.0.1:" + std::to_string(webhookPort) + "/alerts'\n"
                      "        send_resolved: true\n");
    process_ = std::make_unique<Process>(
        "/usr/bin/prometheus-alertmanager",
        std::vector<std::string>{"--config.file=" + sandbox.Path("alertmanager/alertmanager.yml"),
                                 "--storage.path=" + sandbox.Path("alertmanager/data"),
                                 "--web.listen-address=127.0.0.1:" + std::to_string(port_),
                                 // No cluster: it would listen on every interface.
                                 "--cluster.listen-address=", "--log.level=warn"});
  }
  ~Alertmanager() {
    process_->Signal(SIGTERM);
    if (process_->Wait(15s) < 0) process_->Signal(SIGKILL);
  }

  bool WaitReady(std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
          httplib::Client client("127.0.0.1", port_);
          client.set_connection_timeout(1, 0);
          auto response = client.Get("/-/ready");
          if (response && response->status == 200) return true;
          std::this_thread::sleep_for(200ms);
          return false;
        },
        timeout);
  }

  int port() const { return port_; }
  Process& process() { return *process_; }

 private:
  int port_;
  std::unique_ptr<Process> process_;
};

// The shipped rules with their one-minute waits cut to ten seconds, so the test runs in well
// under a minute; ten seconds is still above the age of a reading between two refreshes.
std::string ShortenedRules(const Sandbox& sandbox) {
  std::ifstream in(SourcePath("packaging/prometheus/vigilagent.rules.yml"));
  std::stringstream text;
  text << in.rdbuf();
  std::string rules = text.str();
  int replaced = 0;
  for (std::size_t at = rules.find("for: 1m\n"); at != std::string::npos; at = rules.find("for: 1m\n", at)) {
    rules.replace(at, 8, "for: 10s\n");
    ++replaced;
  }
  if (replaced == 0) return "";
  sandbox.WriteFile("prometheus/vigilagent.rules.yml", rules);
  return sandbox.Path("prometheus/vigilagent.rules.yml");
}

std::string TrimmedName(const std::string& field) {
  std::string name = field.substr(0, field.find('\0'));
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

TEST(AlertsE2eTest, CriticalSensorAlertArrivesNamingTheServerAndItsResolutionFollows) {
  const ScenarioTable table = LoadScenarioTable("kelvo-b720.json");
  const ExpectedSensor* probe = nullptr;
  std::size_t index = 0;
  for (std::size_t i = 0; i < table.sensors.size() && probe == nullptr; ++i) {
    if (table.sensors[i].sensorType == 1 && table.sensors[i].raw != 0x8000 &&
        table.sensors[i].state == kStateOk) {
      probe = &table.sensors[index = i];
    }
  }
  ASSERT_NE(probe, nullptr);
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-b720.json"), 0) << h.Log();
  MetricsServerProbe server({});
  ASSERT_GT(server.port(), 0) << server.process().Stderr();
  WebhookReceiver webhook;
  ASSERT_GT(webhook.port(), 0);
  Alertmanager alertmanager(h.sandbox(), webhook.port());
  // Generous: under the sanitizer stage's load Alertmanager can take tens of seconds to start.
  ASSERT_TRUE(alertmanager.WaitReady(60s)) << alertmanager.process().Stderr();
  const std::string rules = ShortenedRules(h.sandbox());
  ASSERT_FALSE(rules.empty());
  PrometheusServer prometheus(h.sandbox(), server.port(), {{rules}, alertmanager.port()});

  // Scraped and OK before anything changes.
  const std::string state = "vigil_sensor_state{index=\"" + std::to_string(index) + "\"}";
  const std::optional<double> before = prometheus.WaitFor(state, [](double v) { return v == 0; }, 30s);
  ASSERT_TRUE(before && *before == 0) << prometheus.process().Stderr();

  ASSERT_EQ(h.Ctl({"set-sensor", std::to_string(probe->handle), std::to_string(probe->raw), "0xA0"}).status, 0);
  auto ours = [&](const char* status) {
    return [&, status](const json& alert) {
      return alert.value("status", "") == status && alert["labels"].value("alertname", "") == "VigilSensorCritical" &&
             alert["labels"].value("index", "") == std::to_string(index);
    };
  };
  const std::optional<json> firing = webhook.WaitFor(ours("firing"), 60s);
  ASSERT_TRUE(firing) << webhook.Received() << prometheus.process().Stderr() << alertmanager.process().Stderr();
  const std::string name = TrimmedName(probe->name);
  const std::string instance = "127.0.0.1:" + std::to_string(server.port());
  const json& labels = (*firing)["labels"];
  EXPECT_EQ(labels.value("severity", ""), "critical");
  EXPECT_EQ(labels.value("sensor", ""), name);
  EXPECT_EQ(labels.value("type", ""), "temperature");
  EXPECT_EQ(labels.value("instance", ""), instance);
  EXPECT_EQ(labels.value("job", ""), "vigil");
  EXPECT_EQ(labels.value("model", ""), "Kelvo B720");
  EXPECT_EQ(labels.value("uuid", ""), "213c8a6f-d794-0b4e-a5c2-1b7d3e9f0a64");
  EXPECT_EQ((*firing)["annotations"].value("summary", ""), name + " critical on " + instance);

  ASSERT_EQ(h.Ctl({"set-sensor", std::to_string(probe->handle), std::to_string(probe->raw), "0x60"}).status, 0);
  const std::optional<json> resolved = webhook.WaitFor(ours("resolved"), 45s);
  ASSERT_TRUE(resolved) << webhook.Received();
  EXPECT_EQ((*resolved)["labels"], labels);
}

}  // namespace
}  // namespace vigil::test
