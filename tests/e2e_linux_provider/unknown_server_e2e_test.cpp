// A server the agent does not know, on its real firmware table (a Supermicro X9DBL board,
// fixtures/tables/supermicro-x9dbl.bin) through hwgate-linux, with the generic event set
// imported: every fan under its own name, and records of every event type readable in
// vigilctl events, the journal fields and the metrics.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/sandbox.h"
#include "sysfs_machine.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

// A log record: type, length, BCD date and time (2024-03-05 11:mm:00), data.
std::string Record(uint8_t type, uint8_t minute, const std::string& data = "") {
  std::string r = {static_cast<char>(type), static_cast<char>(8 + data.size()), 0x24, 0x03, 0x05, 0x11,
                   static_cast<char>(minute), 0x00};
  return r + data;
}

std::string U32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

// One record of each type 01h..17h the log can hold (0Fh is reserved), oldest first.
std::string EveryEventType() {
  std::string log = Record(0x17, 0x00);                    // system boot
  log += Record(0x01, 0x01, U32(0x002F));                  // single-bit ECC on P1-DIMM1A
  log += Record(0x02, 0x02, U32(0x0033));                  // multi-bit ECC on P1-DIMM1C
  for (uint8_t type : {0x03, 0x04, 0x05, 0x06, 0x07}) log += Record(type, type);
  log += Record(0x08, 0x08, U32(0x00000008) + U32(0));     // POST error: one bit of the first word
  log += Record(0x09, 0x09, std::string("\x01\x4B\x02\x00", 4));  // PCI parity, device/function, bus
  log += Record(0x0A, 0x10, std::string("\x01\x08\x04\x00", 4));  // PCI system error
  for (uint8_t type : {0x0B, 0x0C, 0x0D, 0x0E}) log += Record(type, 0x11 + type - 0x0B);
  log += Record(0x10, 0x20, U32(0x00000002));              // limit: a system management type
  log += Record(0x10, 0x21, U32(0x00010068));              // limit: temperature probe 0x0068
  for (uint8_t type : {0x11, 0x12, 0x13, 0x14, 0x15, 0x16}) log += Record(type, 0x30 + type - 0x11);
  return log;
}

void WriteX9dbl(const Sandbox& sandbox) {
  WriteFirmwareTable(sandbox, "fixtures/tables/supermicro-x9dbl.bin");
  WriteFirmwareLog(sandbox, EveryEventType(), 1024);
  // Its Nuvoton monitor: one fan as the driver gives it (no label), one with a label.
  const std::string hwmon = "sys/class/hwmon/hwmon1/";
  sandbox.WriteFile(hwmon + "name", "nct6776\n");
  sandbox.WriteFile(hwmon + "fan1_input", "5400\n");
  sandbox.WriteFile(hwmon + "fan2_input", "3300\n");
  sandbox.WriteFile(hwmon + "fan2_label", "SYS_FAN2\n");
}

TEST(UnknownServerE2e, EveryFanByItsOwnNameAndReadableEvents) {
  Sandbox sandbox;
  WriteX9dbl(sandbox);
  Process provider(BinaryPath("hwgate-linux"), ProviderArgs(sandbox));
  ASSERT_TRUE(Serving(provider)) << provider.Stderr();
  ASSERT_EQ(vigil::test::Run(BinaryPath("vigilctl"), {"reg", "import", SourcePath("fixtures/eventtables/Generic.reg")}, 20s).status, 0);
  Process agent(BinaryPath("vigilagent"), {});
  const std::string events = "var/log/vigilagent/events.log";
  auto lines = [&] {
    std::string text = sandbox.Exists(events) ? sandbox.ReadFile(events) : "";
    return std::count(text.begin(), text.end(), '\n');
  };
  const long records = 23;
  ASSERT_TRUE(WaitUntil([&] { return lines() >= records; }, 30s)) << agent.Stderr();

  // Fans: the five cooling devices of the firmware in table order (the second has no
  // description), then the live fans hwgate-linux describes by their hwmon labels or names.
  RunResult sensors = vigil::test::Run(BinaryPath("vigilctl"), {"sensors", "--kind", "fan", "--json"}, 30s);
  ASSERT_EQ(sensors.status, 0) << sensors.err;
  std::vector<std::string> names;
  std::vector<double> readings;
  for (const auto& row : nlohmann::json::parse(sensors.out)) {
    names.push_back(row["name"]);
    readings.push_back(row["reading"]);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Cooling Dev 1", "Fan 2", "Cooling Dev 2", "Cooling Dev 2",
                                             "Cooling Dev 1", "SYS_FAN2", "nct6776 fan1"}))
      << sensors.out;
  ASSERT_EQ(readings.size(), 7u);
  EXPECT_EQ(readings[5], 3300.0);
  EXPECT_EQ(readings[6], 5400.0);

  // Events: every record decoded with a text of its own; none is the bare "System Event".
  RunResult listed = vigil::test::Run(BinaryPath("vigilctl"), {"events", "--json"}, 30s);
  ASSERT_EQ(listed.status, 0) << listed.err;
  nlohmann::json entries = nlohmann::json::parse(listed.out);
  ASSERT_EQ(entries.size(), static_cast<size_t>(records)) << listed.out;
  for (const auto& e : entries) {
    std::string text = e["text"];
    EXPECT_GT(text.size(), 2u) << e.dump();
  }
  // The IPMI sensor type of the standard's event for each record (IPMI v2.0 table 42-3):
  // memory 0Ch for the ECC and parity errors, critical interrupt 13h for bus time-out, I/O
  // channel check, software NMI and PCI errors, system firmware progress 0Fh for POST errors.
  const std::map<size_t, int> sensorTypeOfSlot = {{1, 0x0C}, {2, 0x0C}, {3, 0x0C}, {4, 0x13}, {5, 0x13},
                                                  {6, 0x13}, {8, 0x0F}, {9, 0x13}, {10, 0x13}};
  for (const auto& [slot, type] : sensorTypeOfSlot) EXPECT_EQ(entries[slot]["sensorType"], type) << entries[slot].dump();
  // Journal fields: the IPMI sensor type tells a memory error (0Ch) from the rest.
  std::string reported = sandbox.ReadFile(events);
  std::set<std::string> sensorTypes;
  size_t memoryErrors = 0;
  for (size_t at = 0, end; (end = reported.find('\n', at)) != std::string::npos; at = end + 1) {
    nlohmann::json line = nlohmann::json::parse(reported.substr(at, end - at));
    std::string message = line["MESSAGE"], type = line["VIGIL_SENSOR_TYPE"];
    sensorTypes.insert(type);
    if (message.find("P1-DIMM1A") != std::string::npos || message.find("P1-DIMM1C") != std::string::npos) {
      ++memoryErrors;
      EXPECT_EQ(type, "12") << message;
    }
  }
  EXPECT_EQ(memoryErrors, 2u) << reported;
  EXPECT_GE(sensorTypes.size(), 5u) << reported;
  EXPECT_NE(reported.find("LM78A"), std::string::npos) << reported;  // the limit naming probe 0x0068

  RunResult metrics = vigil::test::Run(BinaryPath("vigilctl"), {"metrics"}, 30s);
  ASSERT_EQ(metrics.status, 0) << metrics.err;
  EXPECT_NE(metrics.out.find("vigil_bios_events{type=\"Memory\"}"), std::string::npos) << metrics.out;
  EXPECT_NE(metrics.out.find("product=\"X9DBL-3F/X9DBL-iF\""), std::string::npos) << metrics.out;

  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(30s), 0);
  provider.Signal(SIGTERM);
  EXPECT_EQ(provider.Wait(10s), 0);
}

}  // namespace
}  // namespace vigil::test
