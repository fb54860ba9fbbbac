// Registry under HKEY_LOCAL_MACHINE through the Reg*A functions; results are their error codes.
#include "os/win32/win32_api.h"

namespace os {
namespace {

HKEY AsKey(RegHandle key) { return static_cast<HKEY>(key); }

}  // namespace

long RegCreateKey(const char* path, uint32_t access, RegHandle* out) {
  if (out == nullptr) return kErrorInvalidParameter;
  *out = nullptr;
  if (path == nullptr) return kErrorInvalidParameter;
  HKEY key = nullptr;
  const LONG rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    access, nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS) *out = key;
  return rc;
}

long RegOpenKey(const char* path, uint32_t access, RegHandle* out) {
  if (out == nullptr) return kErrorInvalidParameter;
  *out = nullptr;
  if (path == nullptr) return kErrorInvalidParameter;
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
  if (rc == ERROR_SUCCESS) *out = key;
  return rc;
}

long RegQueryValue(RegHandle key, const char* name, uint32_t* type, void* data, uint32_t* size) {
  if (key == nullptr) return kErrorInvalidHandle;
  // Without a capacity there is no safe way to receive data.
  if (size == nullptr && data != nullptr) return kErrorInvalidParameter;
  DWORD storedType = 0;
  DWORD capacity = size != nullptr ? *size : 0;
  const LONG rc = ::RegQueryValueExA(AsKey(key), name, nullptr, &storedType,
                                     static_cast<BYTE*>(data), size != nullptr ? &capacity : nullptr);
  if (type != nullptr) *type = storedType;
  if (size != nullptr) *size = capacity;
  return rc;
}

long RegSetValue(RegHandle key, const char* name, uint32_t type, const void* data, uint32_t size) {
  if (key == nullptr) return kErrorInvalidHandle;
  if (data == nullptr && size != 0) return kErrorInvalidParameter;
  return ::RegSetValueExA(AsKey(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

long RegEnumValue(RegHandle key, uint32_t index, char* name, uint32_t* nameCap, uint32_t* type,
                  void* data, uint32_t* dataSize) {
  if (key == nullptr) return kErrorInvalidHandle;
  if (name == nullptr || nameCap == nullptr || *nameCap == 0) return kErrorInvalidParameter;
  if (dataSize == nullptr && data != nullptr) return kErrorInvalidParameter;
  DWORD nameLength = *nameCap;
  DWORD storedType = 0;
  DWORD capacity = dataSize != nullptr ? *dataSize : 0;
  const LONG rc = ::RegEnumValueA(AsKey(key), index, name, &nameLength, nullptr, &storedType,
                                  static_cast<BYTE*>(data), dataSize != nullptr ? &capacity : nullptr);
  *nameCap = nameLength;
  if (type != nullptr) *type = storedType;
  if (dataSize != nullptr) *dataSize = capacity;
  return rc;
}

long RegEnumKey(RegHandle key, uint32_t index, char* name, uint32_t* nameCap) {
  if (key == nullptr) return kErrorInvalidHandle;
  if (name == nullptr || nameCap == nullptr || *nameCap == 0) return kErrorInvalidParameter;
  DWORD nameLength = *nameCap;
  const LONG rc =
      ::RegEnumKeyExA(AsKey(key), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
  *nameCap = nameLength;
  return rc;
}

long RegDeleteValue(RegHandle key, const char* name) {
  if (key == nullptr) return kErrorInvalidHandle;
  return ::RegDeleteValueA(AsKey(key), name);
}

long RegDeleteKeyTree(const char* path) {
  // An empty path would name HKEY_LOCAL_MACHINE itself.
  if (path == nullptr || path[0] == '\0') return kErrorInvalidParameter;
  const LONG rc = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
  if (rc != ERROR_SUCCESS) return rc;
  // Given a subkey, RegDeleteTreeA removes that key as well on current systems; the explicit
  // delete covers those that leave it, and its absence is the outcome wanted.
  const LONG removed = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
  return removed == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : removed;
}

long RegCloseKey(RegHandle key) {
  if (key == nullptr) return kErrorInvalidHandle;
  return ::RegCloseKey(AsKey(key));
}

long RegApplyAtomically(RegBatchFn body, void* context) {
  if (body == nullptr) return kErrorInvalidParameter;
  return body(context);
}

}  // namespace os
