// Building SMBIOS bytes for the tests: structures, entry points, event log records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hwlinux::testing {

using Bytes = std::vector<uint8_t>;

// A structure: header, the formatted area after the header, then the string-set.
inline Bytes Structure(uint8_t type, uint16_t handle, const Bytes& area, const std::vector<std::string>& strings = {}) {
  Bytes s = {type, static_cast<uint8_t>(4 + area.size()), static_cast<uint8_t>(handle), static_cast<uint8_t>(handle >> 8)};
  s.insert(s.end(), area.begin(), area.end());
  for (const std::string& text : strings) {
    s.insert(s.end(), text.begin(), text.end());
    s.push_back(0);
  }
  if (strings.empty()) s.push_back(0);
  s.push_back(0);
  return s;
}

inline Bytes Join(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// `length` 1Eh is the version 2.1 entry point, which has no BCD revision byte.
inline Bytes EntryPoint32(uint8_t major, uint8_t minor, uint16_t tableLength, uint8_t length = 0x1F) {
  Bytes e(length, 0);
  e[0] = '_'; e[1] = 'S'; e[2] = 'M'; e[3] = '_';
  e[5] = length; e[6] = major; e[7] = minor;
  const char dmi[] = "_DMI_";
  for (int i = 0; i < 5; ++i) e[0x10 + i] = static_cast<uint8_t>(dmi[i]);
  e[0x16] = static_cast<uint8_t>(tableLength);
  e[0x17] = static_cast<uint8_t>(tableLength >> 8);
  return e;
}

inline Bytes EntryPoint64(uint8_t major, uint8_t minor, uint32_t maxLength) {
  Bytes e(0x18, 0);
  const char anchor[] = "_SM3_";
  for (int i = 0; i < 5; ++i) e[i] = static_cast<uint8_t>(anchor[i]);
  e[6] = 0x18; e[7] = major; e[8] = minor;
  for (int i = 0; i < 4; ++i) e[0x0C + i] = static_cast<uint8_t>(maxLength >> (8 * i));
  return e;
}

// A probe's area after the header (type 26/28 layout): description string 1, location/status.
inline Bytes ProbeArea(uint8_t locationStatus) {
  Bytes a(0x16 - 4, 0);
  a[0] = 1;
  a[1] = locationStatus;
  return a;
}

// An event log record: type, length (with the read flag), six BCD time bytes, data.
inline Bytes LogRecord(uint8_t type, uint8_t minute, const Bytes& data = {}, bool read = false) {
  Bytes r = {type, static_cast<uint8_t>((8 + data.size()) | (read ? 0x80 : 0)), 0x24, 0x02, 0x01, 0x10, minute, 0x00};
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

}  // namespace hwlinux::testing
