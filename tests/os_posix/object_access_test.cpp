// Who may use the named objects: owner and access group only, and nothing another user left
// under an object's name is ever adopted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "os/os.h"
#include "os/posix/object_access.h"
#include "support/sandbox.h"

namespace {

using vigil::test::ForkChildAsNobody;
using vigil::test::Sandbox;
using vigil::test::WaitChild;

constexpr std::size_t kSize = 157072;
constexpr uid_t kNobody = 65534;

TEST(ObjectAccess, OtherUsersCanNeitherOpenNorWriteTheObjects) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  Sandbox sandbox;
  sandbox.OpenToOtherUsers();
  os::Handle block = os::CreateNamedMapping("DMFileMap", kSize);
  os::Handle event = os::CreateNamedEvent("NVX_CFG_EVENT", true, false);
  ASSERT_NE(block, nullptr);
  ASSERT_NE(event, nullptr);
  std::string blockPath = sandbox.Path("dev/shm/DMFileMap");
  std::string eventPath = sandbox.Path("dev/shm/vigil-event.NVX_CFG_EVENT");
  int rc = WaitChild(ForkChildAsNobody([&] {
    if (os::OpenNamedMapping("DMFileMap", kSize, nullptr) != nullptr) return 1;
    if (os::OpenNamedEvent("NVX_CFG_EVENT") != nullptr) return 2;
    if (os::CreateNamedEvent("NVX_CFG_EVENT", true, false) != nullptr) return 3;
    for (const std::string& path : {blockPath, eventPath}) {
      if (open(path.c_str(), O_RDWR) >= 0 || open(path.c_str(), O_RDONLY) >= 0) return 4;
      if (truncate(path.c_str(), 0) == 0 || unlink(path.c_str()) == 0) return 5;
    }
    return 0;
  }));
  EXPECT_EQ(rc, 0);
  os::CloseHandle(event);
  os::CloseHandle(block);
}

struct Squat {
  const char* name;
  std::function<void(const std::string& path, const Sandbox&)> plant;
};

// What another user can leave in a world-writable /dev/shm before the agent starts.
const Squat kSquats[] = {
    {"file of another user", [](const std::string& path, const Sandbox&) {
       int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
       EXPECT_EQ(ftruncate(fd, kSize), 0);
       EXPECT_EQ(fchown(fd, kNobody, kNobody), 0);
       close(fd);
     }},
    {"world-writable file", [](const std::string& path, const Sandbox&) {
       int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
       EXPECT_EQ(ftruncate(fd, kSize), 0);
       EXPECT_EQ(fchmod(fd, 0666), 0);
       close(fd);
     }},
    {"symbolic link", [](const std::string& path, const Sandbox& sandbox) {
       sandbox.WriteFile("victim", "keep");
       EXPECT_EQ(symlink(sandbox.Path("victim").c_str(), path.c_str()), 0);
     }},
    {"hard link", [](const std::string& path, const Sandbox& sandbox) {
       sandbox.WriteFile("victim", "keep");
       chmod(sandbox.Path("victim").c_str(), 0600);
       EXPECT_EQ(link(sandbox.Path("victim").c_str(), path.c_str()), 0);
     }},
    {"directory", [](const std::string& path, const Sandbox&) { EXPECT_EQ(mkdir(path.c_str(), 0777), 0); }},
    {"fifo", [](const std::string& path, const Sandbox&) { EXPECT_EQ(mkfifo(path.c_str(), 0666), 0); }},
    {"file kept locked exclusively", [](const std::string& path, const Sandbox&) {
       int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
       EXPECT_EQ(fchmod(fd, os::posix::kObjectMode), 0);
       struct flock lock{};
       lock.l_type = F_WRLCK;
       EXPECT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);  // and never let go (the fd stays open)
     }},
};

TEST(ObjectAccess, SquattedNamesAreRefusedByClientsAndReplacedByTheAgent) {
  for (const Squat& squat : kSquats) {
    SCOPED_TRACE(squat.name);
    Sandbox sandbox;
    sandbox.OpenToOtherUsers();
    const std::string block = sandbox.Path("dev/shm/DMFileMap");
    const std::string event = sandbox.Path("dev/shm/vigil-event.NVX_CFG_EVENT");
    squat.plant(block, sandbox);
    squat.plant(event, sandbox);
    EXPECT_EQ(os::OpenNamedMapping("DMFileMap", kSize, nullptr), nullptr);
    EXPECT_EQ(os::OpenNamedEvent("NVX_CFG_EVENT"), nullptr);
    os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
    os::Handle request = os::CreateNamedEvent("NVX_CFG_EVENT", true, false);
    ASSERT_NE(mapping, nullptr);
    ASSERT_NE(request, nullptr);
    for (const std::string& path : {block, event}) {
      struct stat st;
      ASSERT_EQ(lstat(path.c_str(), &st), 0);
      EXPECT_TRUE(S_ISREG(st.st_mode));
      EXPECT_EQ(st.st_uid, geteuid());
      EXPECT_EQ(st.st_mode & 07777, os::posix::kObjectMode);
      EXPECT_EQ(st.st_nlink, 1u);
    }
    if (sandbox.Exists("victim")) {
      EXPECT_EQ(sandbox.ReadFile("victim"), "keep");
    }
    std::string log = sandbox.ReadFile("var/log/vigilagent/messages.log");
    EXPECT_NE(log.find(block + " was removed and made anew"), std::string::npos) << log;
    EXPECT_NE(log.find(event + " was removed and made anew"), std::string::npos) << log;
    // The agent's own objects serve as usual.
    EXPECT_NE(os::MapWholeView(mapping), nullptr);
    EXPECT_TRUE(os::SetEvent(request));
    EXPECT_EQ(os::WaitForEvent(request, 0), os::WaitResult::kSignaled);
    os::CloseHandle(request);
    os::CloseHandle(mapping);
  }
}

}  // namespace
