// An open registry key: the key's row id, the rights it was opened with and the database it
// lives in. Cheap to hold; every call goes to the database.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "os/os.h"
#include "os/registry_rules.h"
#include "os/posix/port_object.h"

namespace os::posix {

class RegistryKey final : public PortObject {
 public:
  RegistryKey(std::int64_t id, std::uint32_t access, std::string dbPath)
      : id_(id), rights_(registry::EffectiveRights(access)), dbPath_(std::move(dbPath)) {}
  std::int64_t id() const { return id_; }
  bool Allows(std::uint32_t right) const { return (rights_ & right) == right; }
  const std::string& dbPath() const { return dbPath_; }

 private:
  std::int64_t id_;
  std::uint32_t rights_;
  std::string dbPath_;
};

}  // namespace os::posix
