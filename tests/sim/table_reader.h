// An independent reader of the simulator's SMBIOS buffer for the tests: walks the structures
// of either layout and resolves their strings, so a table the core builds can be checked
// against what it was built from.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace simtest {

struct ReadStructure {
  uint8_t type;
  uint16_t handle;
  std::vector<uint8_t> formatted;  // after the header
  std::vector<std::string> strings;
};

inline uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// Entries of one strings-apart string table, by key.
inline std::map<std::string, std::vector<std::string>> ReadStringTable(const uint8_t* at, const uint8_t* end) {
  std::map<std::string, std::vector<std::string>> table;
  auto next = [&](std::string* text) {
    const uint8_t* start = at;
    while (at < end && *at != 0) ++at;
    if (at >= end) return false;
    text->assign(reinterpret_cast<const char*>(start), at - start);
    ++at;
    return true;
  };
  std::string key;
  while (next(&key) && !key.empty()) {
    std::vector<std::string>& strings = table[key];
    std::string text;
    while (next(&text) && !text.empty()) strings.push_back(text);
  }
  return table;
}

// All structures of the table in order (nothing when the layout kind is 0).
inline std::vector<ReadStructure> ReadTable(const uint8_t* buffer) {
  std::vector<ReadStructure> out;
  uint32_t kind = U32(buffer);
  const uint8_t* data = buffer + 20;
  const uint8_t* end = buffer + 8192;
  const uint8_t* at = data + U32(buffer + 8);
  const uint8_t* stop = at + U32(buffer + 16);
  if (kind == 0 || stop > end) return out;
  std::map<std::string, std::vector<std::string>> first, second;
  if (kind == 2) {
    first = ReadStringTable(data, end);
    second = ReadStringTable(data + U32(buffer + 12), end);
  }
  while (at + 4 <= stop) {
    ReadStructure s{at[0], uint16_t(at[2] | at[3] << 8), {}, {}};
    s.formatted.assign(at + 4, at + at[1]);
    at += at[1];
    if (kind == 2) {
      char key[8];
      snprintf(key, sizeof key, "%04X", s.handle);
      auto hit = first.count(key) ? first.find(key) : second.find(key);
      if (hit != second.end()) s.strings = hit->second;
    } else {
      while (at < stop && *at != 0) {
        const uint8_t* start = at;
        while (at < stop && *at != 0) ++at;
        s.strings.emplace_back(reinterpret_cast<const char*>(start), at - start);
        ++at;
      }
      at += s.strings.empty() ? 2 : 1;
    }
    out.push_back(s);
  }
  return out;
}

}  // namespace simtest
