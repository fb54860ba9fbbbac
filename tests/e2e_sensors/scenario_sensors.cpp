#include "scenario_sensors.h"

#include <gtest/gtest.h>

namespace vigil::test {
namespace {

// Owner ID, sensor number, entity ID, entity instance and sensor type of the definition rows
// the scenarios use, copied from the sensor definition table.
struct Row {
  uint8_t owner, number, entity, instance, type;
};
constexpr Row kCpuTemp{0x21, 0x09, 0x03, 1, 1};     // row 0, a probe at location 3 (processor)
constexpr Row kBoardTemp{0x21, 0x32, 0x07, 1, 1};   // row 1, any other location
constexpr Row kCpuVolt{0x21, 0x11, 0x03, 1, 2};     // row 2
constexpr Row kOtherVolt{0x21, 0x40, 0x07, 1, 2};   // row 3
constexpr Row kCpu1Fan{0x21, 0x19, 0x03, 1, 4};     // row 4 "CPU 1 Fan"; rows 12-15 "CPU Fan n" alike
constexpr Row kSysFan1{0x21, 0x79, 0x1D, 1, 4};     // row 5
constexpr Row kSysFan2{0x21, 0x7A, 0x1D, 2, 4};     // row 6
constexpr Row kSysFan3{0x21, 0x7B, 0x1D, 3, 4};     // row 7
constexpr Row kSysFan4{0x21, 0x7C, 0x1D, 4, 4};     // row 8; rows 10 and 11 (front, rear) alike
constexpr Row kCpu2Fan{0x21, 0x1A, 0x03, 1, 4};     // row 9

// A probe record carries the probe's Description, NUL-padded.
std::string Probe(const char* description) {
  std::string name(description);
  name.resize(32, '\0');
  return name;
}

// A fan record carries the row's name: spaces up to `padded`, then NULs.
std::string Fan(const char* rowName, std::size_t padded) {
  std::string name(rowName);
  name.resize(padded, ' ');
  name.resize(32, '\0');
  return name;
}

ExpectedSensor S(uint16_t handle, const Row& row, std::string name, uint16_t raw, uint8_t status,
                 float reading, uint16_t state) {
  return {handle, row.owner, row.number, row.entity, row.instance, row.type, std::move(name), raw, status,
          reading, state};
}

constexpr float kNoReading = -1048575.0f;

// States by status bits 7-5: 011 -> 0 (0x63, 0x67, 0x6A, 0x6C), 010 -> 1 (0x43, 0x47),
// 101 -> 2 (0xA3, 0xA7), 100 -> 3 (0x83, 0x87).

// Kelvo A140 and A141 (model 1: fans by the OEM value's low byte 1, 2, 3).
std::vector<ExpectedSensor> KelvoA14x() {
  return {
      S(0x50, kCpuTemp, Probe("CPU Temp"), 912, 0xA3, 91.200005f, 2),
      S(0x51, kBoardTemp, Probe("System Temp"), 284, 0x67, 28.4f, 0),
      S(0x40, kCpuVolt, Probe("CPU Core"), 1795, 0x63, 1.7950001f, 0),
      S(0x41, kOtherVolt, Probe("+3.3V"), 3312, 0x67, 3.3120003f, 0),
      S(0x42, kOtherVolt, Probe("+5V"), 5046, 0x67, 5.046f, 0),
      S(0x43, kOtherVolt, Probe("+12V"), 12890, 0x87, 12.89f, 3),
      S(0x44, kOtherVolt, Probe("-12V"), 53585, 0x67, -11.950001f, 0),  // -(65535 - 53585) mV
      S(0x60, kCpu1Fan, Fan("CPU 1 Fan", 30), 4350, 0x63, 4350.0f, 0),
      S(0x61, kSysFan1, Fan("System Fan 1", 29), 0x8000, 0x43, kNoReading, 1),
      S(0x62, kSysFan2, Fan("System Fan 2", 29), 2940, 0x63, 2940.0f, 0),
  };
}

// Kelvo B720 (model 3: fans by the whole OEM value 0x58380201 .. 0x583B0204).
std::vector<ExpectedSensor> KelvoB720() {
  return {
      S(0x50, kCpuTemp, Probe("CPU1 Temp"), 452, 0x63, 45.2f, 0),
      S(0x51, kCpuTemp, Probe("CPU2 Temp"), 871, 0xA3, 87.1f, 2),
      S(0x52, kBoardTemp, Probe("Ambient Temp"), 243, 0x6C, 24.300001f, 0),
      S(0x53, kBoardTemp, Probe("System Board Temp"), 0x8000, 0x47, kNoReading, 1),
      S(0x40, kCpuVolt, Probe("CPU1 Vcore"), 1780, 0x63, 1.7800001f, 0),
      S(0x41, kCpuVolt, Probe("CPU2 Vcore"), 1792, 0x63, 1.792f, 0),
      S(0x42, kOtherVolt, Probe("+3.3V"), 3296, 0x67, 3.2960002f, 0),
      S(0x43, kOtherVolt, Probe("+5V"), 5460, 0x87, 5.46f, 3),
      S(0x44, kOtherVolt, Probe("+12V"), 12120, 0x6A, 12.120001f, 0),
      S(0x45, kOtherVolt, Probe("-12V"), 53535, 0x6A, -12.000001f, 0),
      S(0x60, kCpu1Fan, Fan("CPU 1 Fan", 30), 5520, 0x63, 5520.0f, 0),
      S(0x61, kCpu2Fan, Fan("CPU 2 Fan", 30), 5610, 0x63, 5610.0f, 0),
      S(0x62, kSysFan4, Fan("Front Fan", 26), 4680, 0x63, 4680.0f, 0),
      S(0x63, kSysFan4, Fan("Rear Fan", 25), 1200, 0x83, 1200.0f, 3),
  };
}

// Kelvo C850 (model 4: low byte 1-4 the CPU fans, 5-8 the system fans).
std::vector<ExpectedSensor> KelvoC850() {
  return {
      S(0x50, kCpuTemp, Probe("P0 Temp"), 618, 0x63, 61.8f, 0),
      S(0x51, kCpuTemp, Probe("P1 Temp"), 794, 0x83, 79.4f, 3),
      S(0x52, kBoardTemp, Probe("Inlet Temp"), 215, 0x6C, 21.5f, 0),
      S(0x40, kCpuVolt, Probe("P0 VCCIN"), 1820, 0x63, 1.82f, 0),
      S(0x41, kCpuVolt, Probe("P1 VCCIN"), 1815, 0x63, 1.815f, 0),
      S(0x42, kOtherVolt, Probe("P3V3"), 3351, 0x67, 3.351f, 0),
      S(0x43, kOtherVolt, Probe("P5V"), 4410, 0xA7, 4.4100003f, 2),
      S(0x44, kOtherVolt, Probe("P12V"), 12230, 0x6A, 12.2300005f, 0),
      S(0x45, kOtherVolt, Probe("N12V"), 53425, 0x6A, -12.110001f, 0),
      S(0x60, kCpu1Fan, Fan("CPU Fan 1", 30), 8820, 0x63, 8820.0f, 0),
      S(0x61, kCpu1Fan, Fan("CPU Fan 2", 30), 8760, 0x63, 8760.0f, 0),
      S(0x62, kCpu1Fan, Fan("CPU Fan 3", 30), 8910, 0x63, 8910.0f, 0),
      S(0x63, kCpu1Fan, Fan("CPU Fan 4", 30), 0x8000, 0x43, kNoReading, 1),
      S(0x64, kSysFan1, Fan("System Fan 1", 29), 7050, 0x63, 7050.0f, 0),
      S(0x65, kSysFan2, Fan("System Fan 2", 29), 7110, 0x63, 7110.0f, 0),
      S(0x66, kSysFan3, Fan("System Fan 3", 29), 6980, 0x63, 6980.0f, 0),
      S(0x67, kSysFan4, Fan("System Fan 4", 29), 7020, 0x63, 7020.0f, 0),
  };
}

// Kelvo D100, not a known model (index 0: fans by the low byte 1, 2, 3 like model 1).
std::vector<ExpectedSensor> UnknownModel() {
  return {
      S(0x50, kCpuTemp, Probe("CPU Temp"), 655, 0x83, 65.5f, 3),
      S(0x51, kBoardTemp, Probe("Board Temp"), 0x8000, 0x47, kNoReading, 1),
      S(0x40, kCpuVolt, Probe("Vcore"), 1104, 0x63, 1.1040001f, 0),
      S(0x41, kOtherVolt, Probe("+12V"), 13020, 0xA7, 13.02f, 2),
      S(0x42, kOtherVolt, Probe("-12V"), 53495, 0x67, -12.040001f, 0),
      S(0x60, kCpu1Fan, Fan("CPU 1 Fan", 30), 3480, 0x63, 3480.0f, 0),
      S(0x61, kSysFan1, Fan("System Fan 1", 29), 2310, 0x63, 2310.0f, 0),
  };
}

// Rows 16-22, after every table's probes and fans: never read, no name.
void AppendDiscrete(std::vector<ExpectedSensor>* sensors) {
  const Row discrete[] = {{0x21, 0x5A, 0x0A, 1, 0x08}, {0x21, 0x78, 0x17, 1, 0x05}, {0x01, 0x01, 0x22, 1, 0x0F},
                          {0x01, 0x97, 0x06, 1, 0x10}, {0x01, 0x04, 0x20, 1, 0x0E}, {0x21, 0x01, 0x20, 1, 0x0C},
                          {0x21, 0x02, 0x22, 1, 0x13}};
  for (const Row& row : discrete) sensors->push_back(S(0, row, std::string(32, '\0'), 0, 0, 0.0f, 0));
}

}  // namespace

ScenarioTable LoadScenarioTable(const std::string& file) {
  ScenarioTable table;
  if (file == "kelvo-a140.json" || file == "kelvo-a141.json") {
    table.sensors = KelvoA14x();
  } else if (file == "kelvo-b720.json") {
    table.sensors = KelvoB720();
  } else if (file == "kelvo-c850.json") {
    table.sensors = KelvoC850();
  } else if (file == "unknown-model.json") {
    table.sensors = UnknownModel();
  } else {
    ADD_FAILURE() << "no expected sensor table for " << file;
    return table;
  }
  AppendDiscrete(&table.sensors);
  return table;
}

bool IsRead(const ExpectedSensor& s) { return s.handle != 0; }

}  // namespace vigil::test
