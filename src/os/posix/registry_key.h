// An open registry key: the key's row id, the rights it was opened with and the database it
// lives in. Cheap to hold; every call goes to the database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "os/os.h"
#include "os/posix/port_object.h"

namespace os::posix {

// Win32 access bits the backend enforces.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;

class RegistryKey final : public PortObject {
 public:
  RegistryKey(std::int64_t id, std::uint32_t access, std::string dbPath)
      : id_(id), rights_(EffectiveRights(access)), dbPath_(std::move(dbPath)) {}
  std::int64_t id() const { return id_; }
  bool Allows(std::uint32_t right) const { return (rights_ & right) == right; }
  const std::string& dbPath() const { return dbPath_; }

 private:
  // Generic and maximum-allowed requests mapped to key rights as Windows maps them.
  static std::uint32_t EffectiveRights(std::uint32_t access) {
    std::uint32_t rights = access;
    if (access & 0x80000000u) rights |= kKeyRead;                    // GENERIC_READ
    if (access & 0x40000000u) rights |= 0x20006;                     // GENERIC_WRITE
    if (access & (0x10000000u | 0x02000000u)) rights |= kKeyAllAccess;  // GENERIC_ALL, MAXIMUM
    return rights;
  }

  std::int64_t id_;
  std::uint32_t rights_;
  std::string dbPath_;
};

// Copies an enumerated name into a caller buffer of *capacity characters including the
// terminator: kErrorMoreData, with nothing written and *capacity unchanged, when it does not
// fit; otherwise *capacity becomes the length without the terminator.
long CopyName(std::string_view value, char* name, std::uint32_t* capacity);
// Copies value data as RegQueryValueExA does: with data null only the size is reported; a
// capacity below the stored length gives kErrorMoreData with the needed length in *size and
// nothing written.
long CopyData(const void* stored, std::uint32_t length, void* data, std::uint32_t* size);

}  // namespace os::posix
