// Direct registry access for the tests, beside RegKey: seeds values and checks what the agent
// wrote, through the same port the agent uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/os.h"

namespace vigil::test {

struct StoredValue {
  uint32_t type;
  std::vector<uint8_t> data;
};

// Creates the key (and parents) and writes one value of any type and length.
inline bool PutValue(const std::string& path, const char* name, uint32_t type,
                     const std::vector<uint8_t>& data) {
  os::RegHandle key = nullptr;
  if (os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key) != os::kErrorSuccess) return false;
  const long rc = os::RegSetValue(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
  os::RegCloseKey(key);
  return rc == os::kErrorSuccess;
}

inline bool PutDword(const std::string& path, const char* name, uint32_t value) {
  return PutValue(path, name, os::kRegDword,
                  {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
}

inline bool KeyExists(const std::string& path) {
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
  os::RegCloseKey(key);
  return true;
}

inline std::optional<StoredValue> GetValue(const std::string& path, const char* name) {
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return std::nullopt;
  StoredValue value{0, std::vector<uint8_t>(4096)};
  uint32_t size = static_cast<uint32_t>(value.data.size());
  const long rc = os::RegQueryValue(key, name, &value.type, value.data.data(), &size);
  os::RegCloseKey(key);
  if (rc != os::kErrorSuccess) return std::nullopt;
  value.data.resize(size);
  return value;
}

}  // namespace vigil::test
