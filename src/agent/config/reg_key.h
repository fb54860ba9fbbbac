// RegKey: every agent registry access except the event source registration goes through it.
// Operations return 0 on success and -1 on failure; a failed value operation closes the key
// itself, so callers chain steps and return at the first failure. The destructor closes what
// is still open.
#pragma once

#include <cstdint>

#include "os/os.h"

namespace vigil {

class RegKey {
 public:
  RegKey() = default;
  ~RegKey() { Close(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Creates or opens basePath + subkey with KEY_ALL_ACCESS. A joined path that does not fit the
  // 260-byte buffer fails (nothing is truncated, nothing written past the buffer).
  int Open(const char* basePath, const char* subkey);
  // Reads a value into `destination` of `capacity` bytes (type not checked). Fails when the
  // stored data are longer than 260 bytes or than the destination.
  int ReadValue(const char* name, void* destination, uint32_t capacity);
  // Reads a REG_DWORD value. Data shorter than 4 bytes or of another type fail (the variable
  // never takes bytes that were not read).
  int ReadDword(const char* name, uint32_t* value);
  int WriteDword(const char* name, uint32_t value);
  // Value `index`: name into a 260-character buffer, data into a 260-byte buffer. Fails at the
  // end, on any error and on a value with empty data. *dataLength receives the data length.
  int EnumValue(char* name, uint32_t index, uint8_t* data, uint32_t* dataLength);
  void Close();

  bool IsOpen() const { return key_ != nullptr; }

 private:
  os::RegHandle key_ = nullptr;
};

}  // namespace vigil
