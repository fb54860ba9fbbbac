#include "os/posix/registry_db.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "os/os.h"
#include "os/posix/root_paths.h"

namespace os::posix {
namespace {

constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: a stale handle cannot hit a new key
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " path TEXT NOT NULL COLLATE NOCASE UNIQUE);"
    "CREATE INDEX IF NOT EXISTS reg_keys_by_parent ON reg_keys(parent, id);"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " id INTEGER PRIMARY KEY,"
    " key_id INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE(key_id, name));";

struct Connection {
  sqlite3* db = nullptr;
  std::string path;
  pid_t pid = 0;
  dev_t device = 0;
  ino_t inode = 0;
};

bool SameFile(const Connection& connection) {
  struct stat st;
  return stat(connection.path.c_str(), &st) == 0 && st.st_dev == connection.device &&
         st.st_ino == connection.inode;
}

void Drop(Connection* connection) {
  // After a fork the connection belongs to the parent: closing it here could release or
  // checkpoint on the parent's behalf, so the child just forgets it.
  if (connection->db != nullptr && connection->pid == getpid()) sqlite3_close(connection->db);
  connection->db = nullptr;
}

long Exec(sqlite3* db, const char* sql) {
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? kErrorSuccess : ErrorFromSqlite(db, rc);
}

long HasSchema(sqlite3* db, bool* present) {
  Statement query(db,
                  "SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                  " AND name IN ('reg_keys', 'reg_values')");
  if (query.Step() != SQLITE_ROW) return query.Error();
  *present = query.Int(0) == 2;
  return kErrorSuccess;
}

// Prepares a freshly opened connection. A file that is not a database shows up here, at the
// first read, as SQLITE_NOTADB.
long Prepare(sqlite3* db) {
  // No lookaside slab (about 120 KiB per connection): registry calls are few and small, and
  // the slab would stay resident for the life of the agent.
  sqlite3_db_config(db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  bool present = false;
  if (long error = HasSchema(db, &present)) return error;
  // WAL lets readers (clients) go on while the agent writes. A read-only database cannot
  // switch, and does not need to for reading.
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (long error = Exec(db, "PRAGMA synchronous=FULL")) return error;
  // A small page cache (SQLite's default is 2 MiB): the registry is read in short bursts,
  // whose pages another writer's commit makes stale anyway, and an agent that keeps the
  // connection open for its whole life would keep the cache just as long.
  if (long error = Exec(db, "PRAGMA cache_size=-64")) return error;
  if (present) return kErrorSuccess;
  return WriteTransaction(db, [db] { return Exec(db, kSchema); });
}

long Open(const std::string& path, Connection* connection) {
  if (!MakeParentDirs(path)) return kErrorAccessDenied;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  long error = rc == SQLITE_OK ? Prepare(db) : ErrorFromSqlite(db, rc);
  struct stat st;
  if (error == kErrorSuccess && stat(path.c_str(), &st) != 0) error = kErrorRegistryIo;
  if (error != kErrorSuccess) {
    sqlite3_close(db);
    return error;
  }
  connection->db = db;
  connection->path = path;
  connection->pid = getpid();
  connection->device = st.st_dev;
  connection->inode = st.st_ino;
  return kErrorSuccess;
}

}  // namespace

std::string RegistryDbPath() { return RootedPath("/var/lib/vigilagent/registry.db"); }

long WithRegistry(const std::string& dbPath, const std::function<long(sqlite3*)>& body) {
  // Recursive: the body of RegApplyAtomically makes ordinary registry calls on its own thread.
  static std::recursive_mutex mutex;
  static Connection connection;
  static int depth = 0;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  // A nested call runs inside an outer one's transaction: the connection must stay as it is.
  const bool outermost = depth == 0;
  if (outermost && connection.db != nullptr &&
      (connection.pid != getpid() || connection.path != dbPath || !SameFile(connection))) {
    Drop(&connection);
  }
  if (connection.db == nullptr) {
    if (long error = Open(dbPath, &connection)) return error;
  }
  ++depth;
  long result = body(connection.db);
  --depth;
  // Storage trouble may be a file that was replaced or repaired meanwhile: start afresh next
  // time rather than keep a connection that may never recover.
  if (outermost && result == kErrorRegistryIo) Drop(&connection);
  return result;
}

long WriteTransaction(sqlite3* db, const std::function<long()>& body) {
  // Inside an open transaction (a batch of RegApplyAtomically) a savepoint undoes this write
  // alone on failure; the batch decides about the whole.
  if (!sqlite3_get_autocommit(db)) {
    if (long error = Exec(db, "SAVEPOINT write")) return error;
    long result = body();
    if (result != kErrorSuccess) sqlite3_exec(db, "ROLLBACK TO write", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "RELEASE write", nullptr, nullptr, nullptr);
    return result;
  }
  // IMMEDIATE takes the write lock up front, where the busy timeout applies. A deferred
  // transaction that upgrades later may get SQLITE_BUSY at once in WAL mode, timeout or not.
  if (long error = Exec(db, "BEGIN IMMEDIATE")) return error;
  long result = body();
  if (result == kErrorSuccess) {
    result = Exec(db, "COMMIT");
    if (result == kErrorSuccess) return result;
  }
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return result;
}

long ErrorFromSqlite(sqlite3* db, int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kErrorSuccess;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kErrorAccessDenied;
    case SQLITE_CANTOPEN: {
      int system = db != nullptr ? sqlite3_system_errno(db) : 0;
      bool denied = system == EACCES || system == EPERM || system == EROFS;
      return denied ? kErrorAccessDenied : kErrorRegistryIo;
    }
    default:
      return kErrorRegistryIo;
  }
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db) {
  rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::int64_t value) {
  if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  // An empty view may carry a null pointer, which SQLite would bind as NULL rather than "":
  // the default value (name "" or null) must be the empty text.
  if (rc_ == SQLITE_OK) {
    rc_ = sqlite3_bind_text(stmt_, index, text.empty() ? "" : text.data(),
                            static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::uint32_t size) {
  // An empty value is a zero-length blob, never NULL, so every row reads back the same way.
  static const char kEmpty = 0;
  if (rc_ == SQLITE_OK) {
    rc_ = sqlite3_bind_blob(stmt_, index, size != 0 ? data : &kEmpty, static_cast<int>(size),
                            SQLITE_TRANSIENT);
  }
  return *this;
}

int Statement::Step() {
  if (rc_ != SQLITE_OK && rc_ != SQLITE_ROW) return rc_;
  rc_ = sqlite3_step(stmt_);
  return rc_;
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string_view Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  int bytes = sqlite3_column_bytes(stmt_, column);
  if (text == nullptr || bytes <= 0) return {};
  return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes)};
}

const void* Statement::Blob(int column) const { return sqlite3_column_blob(stmt_, column); }

std::uint32_t Statement::Bytes(int column) const {
  int bytes = sqlite3_column_bytes(stmt_, column);
  return bytes > 0 ? static_cast<std::uint32_t>(bytes) : 0;
}

}  // namespace os::posix
