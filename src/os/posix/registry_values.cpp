// Registry values: query, set, enumerate in creation order, delete.
#include "os/os.h"
#include "os/posix/registry_db.h"
#include "os/posix/registry_key.h"

namespace os {
namespace {

using posix::RegistryKey;
using posix::Statement;

bool ValueName(const char* name, std::string_view* out) {
  *out = name != nullptr ? std::string_view(name) : std::string_view();  // null: default value
  return out->size() <= kRegMaxValueName;
}

long KeyGone(sqlite3* db, std::int64_t id) {
  Statement key(db, "SELECT 1 FROM reg_keys WHERE id = ?");
  int rc = key.Bind(1, id).Step();
  if (rc == SQLITE_ROW) return kErrorSuccess;
  return rc == SQLITE_DONE ? registry::kErrorKeyDeleted : key.Error();
}

}  // namespace

long RegQueryValue(RegHandle handle, const char* name, uint32_t* type, void* data,
                   uint32_t* size) {
  posix::HandleRef<RegistryKey> key(handle);
  if (!key) return kErrorInvalidHandle;
  if (!key->Allows(registry::kKeyQueryValue)) return kErrorAccessDenied;
  std::string_view valueName;
  if (!ValueName(name, &valueName) || (data != nullptr && size == nullptr)) {
    return kErrorInvalidParameter;
  }
  return posix::WithRegistry(key->dbPath(), [&](sqlite3* db) {
    Statement value(db, "SELECT type, data FROM reg_values WHERE key_id = ? AND name = ?");
    int rc = value.Bind(1, key->id()).Bind(2, valueName).Step();
    if (rc == SQLITE_DONE) {
      long gone = KeyGone(db, key->id());
      return gone != kErrorSuccess ? gone : kErrorFileNotFound;
    }
    if (rc != SQLITE_ROW) return value.Error();
    if (type != nullptr) *type = static_cast<uint32_t>(value.Int(0));
    if (size == nullptr) return kErrorSuccess;
    return registry::CopyData(value.Blob(1), value.Bytes(1), data, size);
  });
}

long RegSetValue(RegHandle handle, const char* name, uint32_t type, const void* data,
                 uint32_t size) {
  posix::HandleRef<RegistryKey> key(handle);
  if (!key) return kErrorInvalidHandle;
  if (!key->Allows(kKeySetValue)) return kErrorAccessDenied;
  std::string_view valueName;
  if (!ValueName(name, &valueName) || (data == nullptr && size != 0) || size > kRegMaxValueData) {
    return kErrorInvalidParameter;
  }
  return posix::WithRegistry(key->dbPath(), [&](sqlite3* db) {
    return posix::WriteTransaction(db, [&] {
      if (long gone = KeyGone(db, key->id())) return gone;
      // An update keeps the row, and with it the value's place and first-written name case.
      Statement upsert(db,
                       "INSERT INTO reg_values(key_id, name, type, data) VALUES(?, ?, ?, ?)"
                       " ON CONFLICT(key_id, name) DO UPDATE"
                       " SET type = excluded.type, data = excluded.data");
      upsert.Bind(1, key->id()).Bind(2, valueName).Bind(3, static_cast<std::int64_t>(type));
      if (upsert.BindBlob(4, data, size).Step() != SQLITE_DONE) return upsert.Error();
      return kErrorSuccess;
    });
  });
}

long RegEnumValue(RegHandle handle, uint32_t index, char* name, uint32_t* nameCap,
                  uint32_t* type, void* data, uint32_t* dataSize) {
  posix::HandleRef<RegistryKey> key(handle);
  if (!key) return kErrorInvalidHandle;
  if (!key->Allows(registry::kKeyQueryValue)) return kErrorAccessDenied;
  if (name == nullptr || nameCap == nullptr || (data != nullptr && dataSize == nullptr)) {
    return kErrorInvalidParameter;
  }
  return posix::WithRegistry(key->dbPath(), [&](sqlite3* db) {
    Statement value(db,
                    "SELECT name, type, data FROM reg_values WHERE key_id = ?"
                    " ORDER BY id LIMIT 1 OFFSET ?");
    int rc = value.Bind(1, key->id()).Bind(2, static_cast<std::int64_t>(index)).Step();
    if (rc == SQLITE_DONE) {
      long gone = KeyGone(db, key->id());
      return gone != kErrorSuccess ? gone : kErrorNoMoreItems;
    }
    if (rc != SQLITE_ROW) return value.Error();
    if (long error = registry::CopyName(value.Text(0), name, nameCap)) return error;
    if (type != nullptr) *type = static_cast<uint32_t>(value.Int(1));
    if (dataSize == nullptr) return kErrorSuccess;
    return registry::CopyData(value.Blob(2), value.Bytes(2), data, dataSize);
  });
}

long RegDeleteValue(RegHandle handle, const char* name) {
  posix::HandleRef<RegistryKey> key(handle);
  if (!key) return kErrorInvalidHandle;
  if (!key->Allows(kKeySetValue)) return kErrorAccessDenied;
  std::string_view valueName;
  if (!ValueName(name, &valueName)) return kErrorInvalidParameter;
  return posix::WithRegistry(key->dbPath(), [&](sqlite3* db) {
    return posix::WriteTransaction(db, [&] {
      if (long gone = KeyGone(db, key->id())) return gone;
      Statement remove(db, "DELETE FROM reg_values WHERE key_id = ? AND name = ?");
      if (remove.Bind(1, key->id()).Bind(2, valueName).Step() != SQLITE_DONE) {
        return remove.Error();
      }
      return sqlite3_changes(db) > 0 ? kErrorSuccess : kErrorFileNotFound;
    });
  });
}

}  // namespace os
