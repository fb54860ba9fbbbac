#include "scenario_sensors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "support/sandbox.h"

namespace vigil::test {
namespace {

using nlohmann::json;

uint32_t Number(const json& value) {
  if (value.is_number()) return value.get<uint32_t>();
  return static_cast<uint32_t>(std::stoul(value.get<std::string>(), nullptr, 0));
}

std::vector<uint8_t> HexBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits.push_back(c);
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string Padded(const std::string& text, std::size_t length) {
  std::string name = text.substr(0, 31);
  if (name.size() < length) name.resize(length, ' ');
  name.resize(32, '\0');
  return name;
}

// Definition rows by name: owner, number, entity, instance, type, padded name.
struct Row {
  uint8_t owner, number, entity, instance, type;
  const char* name;
  std::size_t padded;
};
const Row kCpuTemp{0x21, 0x09, 0x03, 1, 1, "CPU 1 Temp", 30};
const Row kBoardTemp{0x21, 0x32, 0x07, 1, 1, "Baseboard Temp", 30};
const Row kCpuVolt{0x21, 0x11, 0x03, 1, 2, "CPU 1 Vol", 30};
const Row kOtherVolt{0x21, 0x40, 0x07, 1, 2, "3.3V", 29};
const Row kFans[] = {
    {0x21, 0x19, 0x03, 1, 4, "CPU 1 Fan", 30},    {0x21, 0x79, 0x1D, 1, 4, "System Fan 1", 29},
    {0x21, 0x7A, 0x1D, 2, 4, "System Fan 2", 29}, {0x21, 0x7B, 0x1D, 3, 4, "System Fan 3", 29},
    {0x21, 0x7C, 0x1D, 4, 4, "System Fan 4", 29}, {0x21, 0x1A, 0x03, 1, 4, "CPU 2 Fan", 30},
    {0x21, 0x7C, 0x1D, 4, 4, "Front Fan", 26},    {0x21, 0x7C, 0x1D, 4, 4, "Rear Fan", 25},
    {0x21, 0x19, 0x03, 1, 4, "CPU Fan 1", 30},    {0x21, 0x19, 0x03, 1, 4, "CPU Fan 2", 30},
    {0x21, 0x19, 0x03, 1, 4, "CPU Fan 3", 30},    {0x21, 0x19, 0x03, 1, 4, "CPU Fan 4", 30}};
const Row kDiscrete[] = {{0x21, 0x5A, 0x0A, 1, 0x08, "", 0}, {0x21, 0x78, 0x17, 1, 0x05, "", 0},
                         {0x01, 0x01, 0x22, 1, 0x0F, "", 0}, {0x01, 0x97, 0x06, 1, 0x10, "", 0},
                         {0x01, 0x04, 0x20, 1, 0x0E, "", 0}, {0x21, 0x01, 0x20, 1, 0x0C, "", 0},
                         {0x21, 0x02, 0x22, 1, 0x13, "", 0}};

// Fan rule of each model: the definition row for an OEM value, or null.
const Row* FanRow(int32_t model, uint32_t oem) {
  uint8_t low = oem & 0xFF;
  if (model == 0 || model == 1) return low >= 1 && low <= 3 ? &kFans[low - 1] : nullptr;
  if (model == 3) {
    const std::map<uint32_t, const Row*> keys = {
        {0x58380201, &kFans[0]}, {0x58390202, &kFans[5]}, {0x583A0203, &kFans[6]}, {0x583B0204, &kFans[7]}};
    auto it = keys.find(oem);
    return it == keys.end() ? nullptr : it->second;
  }
  if (model == 4 && low >= 1 && low <= 4) return &kFans[8 + low - 1];
  if (model == 4 && low >= 5 && low <= 8) return &kFans[1 + low - 5];
  return nullptr;
}

int32_t ModelOf(const std::string& product) {
  if (product.rfind("Kelvo A140", 0) == 0 || product.rfind("Kelvo A141", 0) == 0) return 1;
  if (product.rfind("Kelvo B720", 0) == 0) return 3;
  if (product.rfind("Kelvo C850", 0) == 0) return 4;
  return 0;
}

ExpectedSensor Make(const Row& row, uint16_t handle, const std::string& name, uint16_t raw, uint8_t status) {
  return {handle, row.owner, row.number, row.entity, row.instance, row.type, name, raw, status};
}

}  // namespace

ScenarioTable LoadScenarioTable(const std::string& file) {
  ScenarioTable table{0, {}};
  std::ifstream in(SourcePath("fixtures/scenarios/" + file));
  json scenario = json::parse(in, nullptr, false);
  if (scenario.is_discarded()) {
    ADD_FAILURE() << "cannot parse " << file;
    return table;
  }
  // Raw answers: the structure's own status and nominal value, replaced by "sensors" entries.
  std::map<uint16_t, std::pair<uint16_t, uint8_t>> answers;
  struct Fan {
    uint16_t handle;
    uint32_t oem;
    uint16_t raw;
    uint8_t status;
  };
  std::vector<ExpectedSensor> temps, volts;
  std::vector<Fan> fans;
  for (const json& s : scenario["smbios"]["structures"]) {
    uint32_t type = Number(s["type"]);
    uint16_t handle = static_cast<uint16_t>(Number(s["handle"]));
    std::vector<uint8_t> f = HexBytes(s["formatted"].get<std::string>());
    std::vector<std::string> strings;
    if (s.contains("strings")) strings = s["strings"].get<std::vector<std::string>>();
    auto text = [&](uint8_t n) { return n >= 1 && n <= strings.size() ? strings[n - 1] : std::string(); };
    if (type == 1) table.model = ModelOf(text(f[1]));
    if (type == 26 || type == 28) {
      // Description string at 04h, Location and Status at 05h, Nominal Value at 14h.
      uint16_t raw = static_cast<uint16_t>(f[16] | f[17] << 8);
      bool processor = (f[1] & 0x1F) == 3;
      const Row& row = type == 28 ? (processor ? kCpuTemp : kBoardTemp) : (processor ? kCpuVolt : kOtherVolt);
      (type == 28 ? temps : volts).push_back(Make(row, handle, Padded(text(f[0]), 0), raw, f[1]));
    }
    if (type == 27) {
      // Device Type and Status at 06h, OEM-defined at 08h, Nominal Speed at 0Ch.
      uint32_t oem = f[4] | f[5] << 8 | f[6] << 16 | static_cast<uint32_t>(f[7]) << 24;
      uint16_t raw = static_cast<uint16_t>(f[8] | f[9] << 8);
      fans.push_back({handle, oem, raw, f[2]});
    }
  }
  for (auto& [key, value] : scenario["sensors"].items()) {
    answers[static_cast<uint16_t>(std::stoul(key, nullptr, 0))] = {static_cast<uint16_t>(Number(value["raw"])),
                                                                   static_cast<uint8_t>(Number(value["status"]))};
  }
  auto answer = [&](ExpectedSensor s) {
    if (auto it = answers.find(s.handle); it != answers.end()) std::tie(s.raw, s.status) = it->second;
    return s;
  };
  for (auto& s : temps) table.sensors.push_back(answer(s));
  for (auto& s : volts) table.sensors.push_back(answer(s));
  for (auto& fan : fans) {
    const Row* row = FanRow(table.model, fan.oem);
    if (row != nullptr) table.sensors.push_back(answer(Make(*row, fan.handle, Padded(row->name, row->padded), fan.raw, fan.status)));
  }
  for (const Row& row : kDiscrete) table.sensors.push_back(Make(row, 0, std::string(32, '\0'), 0, 0));
  return table;
}

float ExpectedReading(uint8_t sensorType, uint16_t raw) {
  if (raw == 0x8000) return -1048575.0f;
  if (sensorType == 1) return raw * 0.1f;
  if (sensorType == 2) return raw < 0x7FFF ? raw * 0.001f : -((0xFFFF - raw) * 0.001f);
  return static_cast<float>(raw);
}

uint16_t ExpectedState(uint8_t status) {
  switch (status >> 5) {
    case 0b011: return 0;
    case 0b010: return 1;
    case 0b101: return 2;
    case 0b100: return 3;
    case 0b110: return 4;
    default: return 5;
  }
}

bool IsRead(const ExpectedSensor& s) {
  return s.ownerId == 0x21 && (s.sensorType == 1 || s.sensorType == 2 || s.sensorType == 4);
}

}  // namespace vigil::test
