// What other processes and crashes see of the registry database.
#include <signal.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "os/os.h"
#include "support/sandbox.h"

namespace {

using vigil::test::ForkChild;
using vigil::test::Sandbox;
using vigil::test::WaitChild;

TEST(RegistryDurability, WriterKilledMidStreamLosesNoAcknowledgedWrite) {
  Sandbox sandbox;
  std::string acks = sandbox.Path("acks");
  pid_t child = ForkChild([acks] {
    os::RegHandle key = nullptr;
    if (os::RegCreateKey("Log\\Position", os::kKeyAllAccess, &key) != 0) return 1;
    std::FILE* out = std::fopen(acks.c_str(), "w");
    for (uint32_t i = 0;; ++i) {
      std::string name = "v" + std::to_string(i);
      if (os::RegSetValue(key, name.c_str(), os::kRegDword, &i, 4) != 0) return 2;
      std::fprintf(out, "%u\n", i);  // acknowledged only after the call returned
      std::fflush(out);
    }
  });
  os::SleepMs(400);
  kill(child, SIGKILL);
  WaitChild(child);
  std::FILE* in = std::fopen(acks.c_str(), "r");
  ASSERT_NE(in, nullptr);
  long last = -1;
  for (unsigned i; std::fscanf(in, "%u", &i) == 1;) last = static_cast<long>(i);
  std::fclose(in);
  ASSERT_GE(last, 0) << "the writer made no progress";
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegOpenKey("Log\\Position", os::kKeyRead, &key), 0);
  for (long i = 0; i <= last; ++i) {
    uint32_t value = 0xFFFFFFFF, size = sizeof value;
    std::string name = "v" + std::to_string(i);
    ASSERT_EQ(os::RegQueryValue(key, name.c_str(), nullptr, &value, &size), 0) << name;
    ASSERT_EQ(value, static_cast<uint32_t>(i));
  }
  os::RegCloseKey(key);
}

// Tools and tests may seed the database with the sqlite3 command; the schema they write to
// must be the one the port reads.
TEST(RegistryDurability, RowsWrittenWithPlainSqlAreReadBackByThePort) {
  Sandbox sandbox;
  {
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey("Seed", os::kKeyAllAccess, &key), 0);  // creates the schema
    os::RegCloseKey(key);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(sandbox.Path("var/lib/vigilagent/registry.db").c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  int rc = sqlite3_exec(db,
                        "INSERT INTO reg_keys(parent, name, path) VALUES(0, 'SOFTWARE', 'SOFTWARE');"
                        "INSERT INTO reg_keys(parent, name, path) SELECT id, 'Agent',"
                        " 'SOFTWARE\\Agent' FROM reg_keys WHERE path = 'SOFTWARE';"
                        "INSERT INTO reg_values(key_id, name, type, data) SELECT id,"
                        " 'CPUOverTempShoutdown', 4, x'01000000' FROM reg_keys"
                        " WHERE path = 'software\\agent';",
                        nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error != nullptr ? error : "");
  sqlite3_free(error);
  sqlite3_stmt* mode = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &mode, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(mode), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(mode, 0)), "wal");
  sqlite3_finalize(mode);
  sqlite3_close(db);
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegOpenKey("Software\\AGENT", os::kKeyRead, &key), 0);
  uint32_t value = 0, type = 0, size = sizeof value;
  EXPECT_EQ(os::RegQueryValue(key, "cpuovertempshoutdown", &type, &value, &size), 0);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(type, os::kRegDword);
  os::RegCloseKey(key);
}

}  // namespace
