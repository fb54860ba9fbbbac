// Registry keys: create, open, enumerate subkeys, delete a tree, close.
#include <new>
#include <vector>

#include "os/os.h"
#include "os/registry_rules.h"
#include "os/posix/registry_db.h"
#include "os/posix/registry_key.h"

namespace os {
namespace {

using posix::RegistryKey;
using posix::Statement;

// Finds the key at `path` (any case): kErrorFileNotFound when absent.
long FindKey(sqlite3* db, const std::string& path, std::int64_t* id) {
  Statement find(db, "SELECT id FROM reg_keys WHERE path = ?");
  int rc = find.Bind(1, path).Step();
  if (rc == SQLITE_DONE) return kErrorFileNotFound;
  if (rc != SQLITE_ROW) return find.Error();
  *id = find.Int(0);
  return kErrorSuccess;
}

// Creates every missing key along `names`; an existing key keeps the case it was made with.
long CreatePath(sqlite3* db, const std::vector<std::string>& names, std::int64_t* id) {
  std::int64_t parent = 0;
  for (std::size_t depth = 1; depth <= names.size(); ++depth) {
    std::string path = registry::JoinKeyPath(names, depth);
    Statement insert(db,
                     "INSERT INTO reg_keys(parent, name, path) VALUES(?, ?, ?)"
                     " ON CONFLICT(path) DO NOTHING");
    if (insert.Bind(1, parent).Bind(2, names[depth - 1]).Bind(3, path).Step() != SQLITE_DONE) {
      return insert.Error();
    }
    if (long error = FindKey(db, path, &parent)) return error;
  }
  *id = parent;
  return kErrorSuccess;
}

long ReturnKey(std::int64_t id, uint32_t access, const std::string& dbPath, RegHandle* out) {
  auto* key = new (std::nothrow) RegistryKey(id, access, dbPath);
  if (key == nullptr) return kErrorRegistryIo;
  *out = posix::ToHandle(key);
  return kErrorSuccess;
}

// RegCreateKey and RegOpenKey: find the key, and with `create` make it and its parents.
long OpenKeyPath(const char* path, uint32_t access, bool create, RegHandle* out) {
  if (out == nullptr) return kErrorInvalidParameter;
  *out = nullptr;
  std::vector<std::string> names;
  if (!registry::SplitKeyPath(path, &names)) return kErrorInvalidParameter;
  std::string dbPath = posix::RegistryDbPath();
  std::int64_t id = 0;
  long result = posix::WithRegistry(dbPath, [&](sqlite3* db) {
    // Most opens find the key: a plain read then, no write transaction and no sync.
    long found = FindKey(db, registry::JoinKeyPath(names, names.size()), &id);
    if (found != kErrorFileNotFound || !create) return found;
    return posix::WriteTransaction(db, [&] { return CreatePath(db, names, &id); });
  });
  if (result != kErrorSuccess) return result;
  return ReturnKey(id, access, dbPath, out);
}

}  // namespace

long RegCreateKey(const char* path, uint32_t access, RegHandle* out) {
  return OpenKeyPath(path, access, /*create=*/true, out);
}

long RegOpenKey(const char* path, uint32_t access, RegHandle* out) {
  return OpenKeyPath(path, access, /*create=*/false, out);
}

long RegEnumKey(RegHandle handle, uint32_t index, char* name, uint32_t* nameCap) {
  posix::HandleRef<RegistryKey> key(handle);
  if (!key) return kErrorInvalidHandle;
  if (!key->Allows(registry::kKeyEnumerateSubKeys)) return kErrorAccessDenied;
  if (name == nullptr || nameCap == nullptr) return kErrorInvalidParameter;
  return posix::WithRegistry(key->dbPath(), [&](sqlite3* db) {
    Statement child(db, "SELECT name FROM reg_keys WHERE parent = ? ORDER BY id LIMIT 1 OFFSET ?");
    int rc = child.Bind(1, key->id()).Bind(2, static_cast<std::int64_t>(index)).Step();
    if (rc == SQLITE_DONE) return kErrorNoMoreItems;
    if (rc != SQLITE_ROW) return child.Error();
    return registry::CopyName(child.Text(0), name, nameCap);
  });
}

long RegDeleteKeyTree(const char* path) {
  // An empty path would name HKEY_LOCAL_MACHINE itself: refused, never the whole registry.
  std::vector<std::string> names;
  if (!registry::SplitKeyPath(path, &names)) return kErrorInvalidParameter;
  return posix::WithRegistry(posix::RegistryDbPath(), [&](sqlite3* db) {
    return posix::WriteTransaction(db, [&] {
      std::int64_t id = 0;
      if (long error = FindKey(db, registry::JoinKeyPath(names, names.size()), &id)) return error;
      static constexpr const char* kTree =
          "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL"
          " SELECT k.id FROM reg_keys k JOIN tree ON k.parent = tree.id) ";
      Statement values(db, (std::string(kTree) +
                            "DELETE FROM reg_values WHERE key_id IN (SELECT id FROM tree)")
                               .c_str());
      if (values.Bind(1, id).Step() != SQLITE_DONE) return values.Error();
      Statement keys(
          db, (std::string(kTree) + "DELETE FROM reg_keys WHERE id IN (SELECT id FROM tree)")
                  .c_str());
      if (keys.Bind(1, id).Step() != SQLITE_DONE) return keys.Error();
      return kErrorSuccess;
    });
  });
}

long RegCloseKey(RegHandle handle) {
  {
    posix::HandleRef<RegistryKey> key(handle);
    if (!key) return kErrorInvalidHandle;
  }
  static_cast<posix::PortObject*>(handle)->Close();
  return kErrorSuccess;
}

long RegApplyAtomically(RegBatchFn body, void* context) {
  if (body == nullptr) return kErrorInvalidParameter;
  return posix::WithRegistry(posix::RegistryDbPath(), [&](sqlite3* db) {
    return posix::WriteTransaction(db, [&] { return body(context); });
  });
}

}  // namespace os
