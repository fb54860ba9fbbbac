#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/types.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "os/os.h"
#include "os/posix/object_access.h"
#include "os/posix/view_guard.h"
#include "support/sandbox.h"

namespace {

using vigil::test::ForkChild;
using vigil::test::RunInChild;
using vigil::test::WaitChild;
using vigil::test::Sandbox;

constexpr std::size_t kSize = 157072;

TEST(SharedMapping, FreshMappingIsZeroedSizedAndGroupOnlyWhateverTheUmask) {
  Sandbox sandbox;
  mode_t old = umask(077);
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  umask(old);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<unsigned char*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  for (std::size_t i = 0; i < kSize; i += 4099) EXPECT_EQ(view[i], 0) << i;
  struct stat st;
  ASSERT_EQ(stat(sandbox.Path("dev/shm/DMFileMap").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(kSize));
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  EXPECT_EQ(st.st_gid, os::posix::AccessGroup());
  EXPECT_GE(st.st_blocks * 512, static_cast<blkcnt_t>(kSize));  // reserved, not sparse
  os::CloseHandle(mapping);
}

// Maps `mapping` and closes its handle: the view holds the mapping until the process ends.
unsigned char* ViewOf(os::Handle mapping) {
  auto* view = static_cast<unsigned char*>(os::MapWholeView(mapping));
  os::CloseHandle(mapping);
  return view;
}

// A process that holds `name` (made with `size` bytes, `mark` written at its last byte) until
// the returned pipe is closed or it is killed.
struct Holder {
  pid_t pid = -1;
  int release = -1;
  ~Holder() {
    if (release >= 0) close(release);
    if (pid > 0) WaitChild(pid);
  }
};
void StartHolder(Holder* holder, std::size_t size, unsigned char mark) {
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  holder->pid = ForkChild([&] {
    close(release[1]);
    unsigned char* view = ViewOf(os::CreateNamedMapping("DMFileMap", size));
    if (view == nullptr) return 1;
    view[size - 1] = mark;
    char byte = 0;
    if (write(ready[1], &byte, 1) != 1) return 2;
    return read(release[0], &byte, 1) >= 0 ? 0 : 3;  // until the parent lets go
  });
  close(ready[1]);
  close(release[0]);
  holder->release = release[1];
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
}

TEST(SharedMapping, AnotherProcessSeesTheSameBytesWhileItHoldsThem) {
  Sandbox sandbox;
  // The client makes the block first and leaves a mark; the agent's create must keep it.
  Holder client;
  StartHolder(&client, kSize, 0xA5);
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<unsigned char*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[kSize - 1], 0xA5);
  view[0] = 0x5A;
  int rc = RunInChild([] {
    unsigned char* again = ViewOf(os::OpenNamedMapping("DMFileMap", kSize, nullptr));
    return again != nullptr && again[0] == 0x5A ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
  os::CloseHandle(mapping);
}

// The block lives while some process holds it, as on Windows. Run + stop with nobody else
// holding: the next start begins from an all-zero block, and meanwhile a client finds none.
// A client holding it across the restart keeps it, contents and all.
TEST(SharedMapping, ContentsLiveExactlyAsLongAsSomeProcessHoldsThem) {
  Sandbox sandbox;
  { Holder agent; StartHolder(&agent, kSize, 0x11); }
  EXPECT_EQ(os::OpenNamedMapping("DMFileMap", kSize, nullptr), nullptr);
  {
    unsigned char* view = ViewOf(os::CreateNamedMapping("DMFileMap", kSize));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[kSize - 1], 0);
    view[kSize - 1] = 0x22;
  }
  // This process now holds it (a view keeps it until exit): a second agent run keeps the bytes.
  { Holder agent; StartHolder(&agent, kSize, 0x33); }
  unsigned char* client = ViewOf(os::OpenNamedMapping("DMFileMap", kSize, nullptr));
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client[kSize - 1], 0x33);
}

// A held object of ours that is too small was cut short by a writer: a client cannot use it, the
// creator grows it back keeping its bytes, so the clients holding it see the agent again.
TEST(SharedMapping, HeldSmallerMappingIsRefusedToClientsAndGrownByItsCreator) {
  Sandbox sandbox;
  {
    Holder small;
    StartHolder(&small, 4096, 1);
    bool tooSmall = false;
    EXPECT_EQ(os::OpenNamedMapping("DMFileMap", kSize, &tooSmall), nullptr);
    EXPECT_TRUE(tooSmall);
    unsigned char* view = ViewOf(os::CreateNamedMapping("DMFileMap", kSize));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[4095], 1);
    EXPECT_EQ(view[4096], 0);
    EXPECT_EQ(sandbox.ReadFile("dev/shm/DMFileMap").size(), kSize);
  }
  Holder big;
  StartHolder(&big, kSize + 10, 'k');
  ASSERT_NE(ViewOf(os::CreateNamedMapping("DMFileMap", kSize)), nullptr);
  EXPECT_EQ(sandbox.ReadFile("dev/shm/DMFileMap").size(), kSize + 10);  // kept whole
  EXPECT_EQ(sandbox.ReadFile("dev/shm/DMFileMap").back(), 'k');
}

TEST(SharedMapping, ObjectShrunkAfterOpeningIsNotMapped) {
  Sandbox sandbox;
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  ASSERT_NE(mapping, nullptr);
  ASSERT_EQ(truncate(sandbox.Path("dev/shm/DMFileMap").c_str(), 16), 0);
  // Mapping past the end would make the first touch a SIGBUS.
  EXPECT_EQ(os::MapWholeView(mapping), nullptr);
  os::CloseHandle(mapping);
}

// Whoever may write the file can cut it short under the agent's view: the agent reads zeros
// where it was cut and carries on, it never dies of SIGBUS.
TEST(SharedMapping, ShrunkUnderAViewTheProcessCarriesOn) {
  Sandbox sandbox;
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  auto* view = static_cast<volatile unsigned char*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  view[100] = 7;
  std::size_t before = os::posix::DetachedPageCount();
  ASSERT_EQ(truncate(sandbox.Path("dev/shm/DMFileMap").c_str(), 0), 0);
  EXPECT_EQ(view[100], 0);
  view[kSize - 1] = 9;
  EXPECT_EQ(view[kSize - 1], 9);
  EXPECT_GE(os::posix::DetachedPageCount(), before + 2);
  os::CloseHandle(mapping);
  // A fault outside any guarded view still ends the process as before (under a sanitizer, by
  // its report: exit code 1, or SIGABRT where it is told to abort on error).
  int rc = RunInChild([] {
    FILE* file = tmpfile();
    if (file == nullptr || ftruncate(fileno(file), 4096) != 0) return 10;
    auto* raw = static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(file), 0));
    if (ftruncate(fileno(file), 0) != 0) return 11;
    return static_cast<int>(raw[0]);
  });
  EXPECT_TRUE(rc == 128 + SIGBUS || rc == 1 || rc == 128 + SIGABRT) << rc;
}

// A full /dev/shm fails at creation, with a message, instead of at a later write.
TEST(SharedMapping, NoSpaceForTheBlockFailsAtCreation) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  Sandbox sandbox;
  std::string shm = sandbox.Path("dev/shm");
  ASSERT_EQ(system(("mkdir -p " + shm).c_str()), 0);
  if (mount("tmpfs", shm.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount tmpfs here";
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{shm};
  EXPECT_EQ(os::CreateNamedMapping("DMFileMap", kSize), nullptr);
  EXPECT_FALSE(sandbox.Exists("dev/shm/DMFileMap"));
  EXPECT_NE(sandbox.ReadFile("var/log/vigilagent/messages.log").find("Cannot reserve 157072 bytes"),
            std::string::npos);
}

TEST(SharedMapping, NamesThatWouldLeaveTheDirectoryAreRefused) {
  Sandbox sandbox;
  for (const char* name : {"", ".", "..", "../escape", "a/b", "bad\nname"}) {
    EXPECT_EQ(os::CreateNamedMapping(name, 64), nullptr) << name;
  }
  EXPECT_EQ(os::CreateNamedMapping(nullptr, 64), nullptr);
  EXPECT_EQ(os::CreateNamedMapping("ZeroSized", 0), nullptr);
  EXPECT_FALSE(sandbox.Exists("dev/escape"));
  EXPECT_FALSE(sandbox.Exists("dev/shm/ZeroSized"));
}

TEST(SharedMapping, HandleOfAnotherKindIsNotMapped) {
  Sandbox sandbox;
  os::Handle event = os::CreateUnnamedEvent(true, false);
  EXPECT_EQ(os::MapWholeView(event), nullptr);
  EXPECT_EQ(os::MapWholeView(nullptr), nullptr);
  os::CloseHandle(event);
}

}  // namespace
