// The registry's SQLite store: /var/lib/vigilagent/registry.db under the root.
//
// Schema (other tools may read it with the sqlite3 command):
//   reg_keys(id, parent, name, path)   path is the whole key path, unique without regard to
//                                      case; parent 0 is HKEY_LOCAL_MACHINE itself
//   reg_values(id, key_id, name, type, data)   name unique per key without regard to case;
//                                      id gives creation order, an update keeps the row
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace os::posix {

std::string RegistryDbPath();

// Runs `body` on the process's connection to the database at `dbPath`, holding the one lock
// that serialises registry calls of this process (a connection is not for two threads at
// once). Opens, or reopens after a root change, a fork or a replaced file, as needed. Returns
// body's result, or the Win32 error of opening. `body` may call it again on the same thread.
long WithRegistry(const std::string& dbPath, const std::function<long(sqlite3*)>& body);

// Runs `body` as one write transaction: committed when it returns success, rolled back
// otherwise. Each write is durable (synchronous=FULL) and atomic on its own. Inside an open
// transaction it is a savepoint of that transaction.
long WriteTransaction(sqlite3* db, const std::function<long()>& body);

// The Win32 error for a failed SQLite result: kErrorAccessDenied for permission and read-only
// failures, kErrorRegistryIo for everything else (corrupt, not a database, busy past the
// timeout, I/O).
long ErrorFromSqlite(sqlite3* db, int rc);

// A prepared statement that finalises itself. Binding or preparing errors are kept and
// reported by Step().
class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindBlob(int index, const void* data, std::uint32_t size);
  // SQLITE_ROW, SQLITE_DONE, or the error.
  int Step();
  std::int64_t Int(int column) const;
  std::string_view Text(int column) const;
  const void* Blob(int column) const;
  std::uint32_t Bytes(int column) const;
  // Win32 error for the last failure of this statement.
  long Error() const { return ErrorFromSqlite(db_, rc_); }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
};

}  // namespace os::posix
