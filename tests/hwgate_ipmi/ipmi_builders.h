// Builders of SEL events and sensor data records for the BMC tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ipmi/scripted_bmc.h"

namespace hwlinux::ipmi::testing {

// A system event record from sensor `number` of the BMC (owner 20h, LUN 0).
inline ScriptedBmc::SelRecord SelEvent(uint32_t stamp, uint8_t sensorType, uint8_t number,
                                       uint8_t eventType, uint8_t data1, uint8_t data2 = 0xFF,
                                       uint8_t data3 = 0xFF) {
  ScriptedBmc::SelRecord r{};
  r[2] = 0x02;
  for (int i = 0; i < 4; ++i) r[3 + i] = uint8_t(stamp >> (8 * i));
  r[7] = 0x20;
  r[8] = 0x00;
  r[9] = 0x04;
  r[10] = sensorType;
  r[11] = number;
  r[12] = eventType;
  r[13] = data1;
  r[14] = data2;
  r[15] = data3;
  return r;
}

struct SdrFields {
  uint8_t type = 0x01;  // full; 0x02 compact
  uint8_t owner = 0x20;
  uint8_t lun = 0;
  uint8_t number = 1;
  uint8_t sensorType = 0x01;
  uint8_t eventType = 0x01;
  uint8_t units1 = 0;  // analog data format in bits 7-6
  uint8_t unit = 1;    // degrees C
  int m = 1, b = 0, k1 = 0, k2 = 0;
  std::string name = "CPU Temp";
};

inline std::vector<uint8_t> Sdr(const SdrFields& s) {
  const bool full = s.type == 0x01;
  std::vector<uint8_t> r(full ? 47 : 31, 0);  // up to the id string type/length byte
  r[2] = 0x51;
  r[3] = s.type;
  r[5] = s.owner;
  r[6] = s.lun;
  r[7] = s.number;
  r[12] = s.sensorType;
  r[13] = s.eventType;
  r[20] = s.units1;
  r[21] = s.unit;
  if (full) {
    r[24] = uint8_t(s.m);
    r[25] = uint8_t((s.m >> 8 & 0x3) << 6);
    r[26] = uint8_t(s.b);
    r[27] = uint8_t((s.b >> 8 & 0x3) << 6);
    r[29] = uint8_t((s.k2 & 0xF) << 4 | (s.k1 & 0xF));
  }
  r.push_back(uint8_t(0xC0 | s.name.size()));
  r.insert(r.end(), s.name.begin(), s.name.end());
  r[4] = uint8_t(r.size() - 5);
  return r;
}

}  // namespace hwlinux::ipmi::testing
