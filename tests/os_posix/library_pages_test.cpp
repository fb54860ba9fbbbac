#include "os/posix/library_pages.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Mapping {
  std::uintptr_t start;
  std::uintptr_t end;
  bool writable;
};

// The kernel's own account of this process's mappings.
std::vector<Mapping> Mappings() {
  std::vector<Mapping> out;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    std::istringstream in(line);
    std::string range, perms;
    in >> range >> perms;
    const std::size_t dash = range.find('-');
    out.push_back({std::stoul(range.substr(0, dash), nullptr, 16), std::stoul(range.substr(dash + 1), nullptr, 16),
                   perms.size() > 1 && perms[1] == 'w'});
  }
  return out;
}

// Every page of the range lies in a mapping that nobody may write: no relocated data, no heap.
bool OnlyReadOnlyMappings(const os::posix::PageRange& range, const std::vector<Mapping>& maps) {
  std::uintptr_t at = range.start;
  while (at < range.start + range.length) {
    const Mapping* found = nullptr;
    for (const Mapping& m : maps) {
      if (m.start <= at && at < m.end) found = &m;
    }
    if (found == nullptr || found->writable) return false;
    at = found->end;
  }
  return true;
}

bool InLibc(const char* path, std::uintptr_t) { return std::strstr(path, "/libc.so") != nullptr; }

TEST(LibraryPagesTest, DropsOnlyReadOnlyPagesAndTheCodeStillRuns) {
  const std::vector<os::posix::PageRange> ranges = os::posix::ReadOnlyPages(InLibc);
  ASSERT_FALSE(ranges.empty());
  const std::vector<Mapping> maps = Mappings();
  for (const os::posix::PageRange& r : ranges) {
    EXPECT_EQ(r.start % 4096, 0u);
    EXPECT_GT(r.length, 0u);
    EXPECT_TRUE(OnlyReadOnlyMappings(r, maps)) << std::hex << r.start << "+" << r.length;
  }
  os::posix::DropPages(ranges);
  // libc's code and constants come back from the page cache; its data was never touched.
  char text[32];
  std::snprintf(text, sizeof text, "%d %s", 42, "left");
  EXPECT_STREQ(text, "42 left");
  EXPECT_EQ(os::posix::ReadOnlyPages(InLibc).size(), ranges.size());
}

// What the journal client does: the objects a dlopen brought in are picked by load address.
TEST(LibraryPagesTest, TheObjectsOfALaterLoadArePickedByAddress) {
  if (dlopen("libsystemd.so.0", RTLD_NOW | RTLD_NOLOAD) != nullptr) GTEST_SKIP() << "libsystemd already loaded";
  const std::vector<std::uintptr_t> before = os::posix::LoadedObjects();
  void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) GTEST_SKIP() << "no libsystemd.so.0 to load";
  std::vector<std::string> picked;
  const auto added = os::posix::ReadOnlyPages([&](const char* path, std::uintptr_t base) {
    const bool isNew = std::find(before.begin(), before.end(), base) == before.end();
    if (isNew) picked.push_back(path);
    return isNew;
  });
  ASSERT_FALSE(picked.empty());
  EXPECT_TRUE(std::any_of(picked.begin(), picked.end(),
                          [](const std::string& p) { return p.find("libsystemd.so") != std::string::npos; }));
  EXPECT_FALSE(added.empty());
  os::posix::DropPages(added);
  // Its symbol tables come back from the page cache.
  EXPECT_NE(dlsym(library, "sd_journal_sendv"), nullptr);
}

}  // namespace
