#include "agent/config/reg_key.h"

#include <cstring>

#include "contract/registry_paths.h"

namespace vigil {

int RegKey::Open(const char* basePath, const char* subkey) {
  // A second Open on the same object would otherwise leak the first handle.
  Close();
  if (basePath == nullptr || subkey == nullptr) return -1;
  // The joined path and its terminator must fit the fixed buffer; a longer one is refused
  // rather than cut, so a caller never ends up in a key it did not name.
  const std::size_t baseLength = strnlen(basePath, kRegBufferSize);
  const std::size_t subkeyLength = strnlen(subkey, kRegBufferSize);
  if (baseLength + subkeyLength >= kRegBufferSize) return -1;
  char path[kRegBufferSize];
  std::memcpy(path, basePath, baseLength);
  std::memcpy(path + baseLength, subkey, subkeyLength);
  path[baseLength + subkeyLength] = '\0';

  os::RegHandle key = nullptr;
  if (os::RegCreateKey(path, os::kKeyAllAccess, &key) != os::kErrorSuccess || key == nullptr) {
    return -1;
  }
  key_ = key;
  return 0;
}

int RegKey::ReadValue(const char* name, void* destination, uint32_t capacity) {
  if (key_ == nullptr) return -1;
  uint32_t size = capacity;
  const long rc = os::RegQueryValue(key_, name, nullptr, destination, &size);
  if (rc != os::kErrorSuccess || size > kRegBufferSize || size > capacity) {
    Close();
    return -1;
  }
  return 0;
}

int RegKey::ReadDword(const char* name, uint32_t* value) {
  if (key_ == nullptr) return -1;
  // Read into a local first: a short or foreign value must leave no stray bytes in *value.
  uint32_t type = 0;
  uint32_t data = 0;
  uint32_t size = sizeof data;
  const long rc = os::RegQueryValue(key_, name, &type, &data, &size);
  if (rc != os::kErrorSuccess || type != os::kRegDword || size != sizeof data) {
    Close();
    return -1;
  }
  *value = data;
  return 0;
}

int RegKey::WriteDword(const char* name, uint32_t value) {
  if (key_ == nullptr) return -1;
  if (os::RegSetValue(key_, name, os::kRegDword, &value, sizeof value) != os::kErrorSuccess) {
    Close();
    return -1;
  }
  return 0;
}

int RegKey::EnumValue(char* name, uint32_t index, uint8_t* data, uint32_t* dataLength) {
  if (key_ == nullptr) return -1;
  uint32_t nameCapacity = kRegBufferSize;
  uint32_t size = kRegBufferSize;
  const long rc = os::RegEnumValue(key_, index, name, &nameCapacity, nullptr, data, &size);
  // Empty data end the enumeration as well: the tables have no use for a value without text.
  if (rc != os::kErrorSuccess || size == 0 || size > kRegBufferSize) {
    Close();
    return -1;
  }
  name[kRegBufferSize - 1] = '\0';
  if (dataLength != nullptr) *dataLength = size;
  return 0;
}

void RegKey::Close() {
  if (key_ != nullptr) os::RegCloseKey(key_);
  key_ = nullptr;
}

}  // namespace vigil
