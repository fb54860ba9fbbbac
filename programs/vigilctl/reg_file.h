// The Windows .reg text format ("Windows Registry Editor Version 5.00"): parsing into a list of
// operations, and writing values back out. No registry access here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vigilctl {

constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegRoot = "HKEY_LOCAL_MACHINE";

struct RegOperation {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind;
  std::string key;           // path below HKEY_LOCAL_MACHINE, no leading backslash
  std::string name;          // value name; "" is the default value (@)
  uint32_t type = 0;         // os::kRegSz, kRegDword, ... for kSetValue
  std::vector<uint8_t> data; // stored bytes (strings with their terminating NUL)
  int line = 0;
};

struct RegParseResult {
  std::vector<RegOperation> operations;
  int errorLine = 0;         // 0: parsed; otherwise the line of the first fault
  std::string error;
};

// Parses the whole file (its bytes as read: UTF-16LE with a byte-order mark or UTF-8) and
// checks every name, nesting depth and data size against the registry's bounds. On a fault no
// operation is returned, so nothing gets applied. Any thread.
RegParseResult ParseRegFile(std::string_view bytes);

// One `"name"=...` line (no newline) for a value as the registry holds it.
std::string FormatRegValue(std::string_view name, uint32_t type, const uint8_t* data, std::size_t size);

}  // namespace vigilctl
