// A real Prometheus server scraping serve-metrics in front of the agent and the simulator, all
// in one sandbox on loopback: what an administrator's Prometheus would store and alert on.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>

#include "support/agent_rig.h"
#include "metrics_server_probe.h"
#include "prometheus_server.h"
#include "scenario_sensors.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

TEST(PrometheusE2eTest, ScrapedTemperaturesFollowTheSimulatorAndBiosEventsAreCounted) {
  const ScenarioTable table = LoadScenarioTable("kelvo-b720.json");
  const ExpectedSensor* probe = nullptr;
  std::size_t index = 0;
  for (std::size_t i = 0; i < table.sensors.size() && probe == nullptr; ++i) {
    if (table.sensors[i].sensorType == 1 && table.sensors[i].raw != 0x8000) probe = &table.sensors[index = i];
  }
  ASSERT_NE(probe, nullptr);
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-b720.json"), 0) << h.Log();
  MetricsServerProbe server({});
  ASSERT_GT(server.port(), 0) << server.process().Stderr();
  PrometheusServer prometheus(h.sandbox(), server.port());

  const std::string temperature = "vigil_temperature_celsius{index=\"" + std::to_string(index) + "\"}";
  const double before = probe->reading;
  auto near = [](double want) { return [want](double got) { return std::abs(got - want) < 0.01; }; };
  std::optional<double> seen = prometheus.WaitFor(temperature, near(before), 30s);
  ASSERT_TRUE(seen && near(before)(*seen)) << (seen ? *seen : -1) << prometheus.process().Stderr();

  ASSERT_NE(probe->raw, 612);
  ASSERT_EQ(h.Ctl({"set-sensor", std::to_string(probe->handle), "612", "0x60"}).status, 0);
  seen = prometheus.WaitFor(temperature, near(61.2), 15s);  // raw 612: 61.2 degrees
  EXPECT_TRUE(seen && near(61.2)(*seen)) << (seen ? *seen : -1);

  const std::optional<double> events = prometheus.Query("vigil_bios_events_total");
  ASSERT_TRUE(events);
  ASSERT_EQ(h.Ctl({"append-record", "01 0C 24 03 15 10 20 30 29 00 00 00"}).status, 0);
  // The agent polls the log every six seconds; Prometheus scrapes every second.
  seen = prometheus.WaitFor("vigil_bios_events_total", [&](double v) { return v == *events + 1; }, 20s);
  EXPECT_TRUE(seen && *seen == *events + 1) << (seen ? *seen : -1) << " after " << *events;
}

}  // namespace
}  // namespace vigil::test
