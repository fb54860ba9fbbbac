#include "client_block.h"

#include <cerrno>
#include <cstdio>

#include "command.h"
#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#ifndef _WIN32
#include <sys/stat.h>

#include <string>

#include "os/posix/object_access.h"
#include "os/posix/root_paths.h"
#include "os/posix/view_guard.h"
#endif

namespace vigilctl {
namespace {
// The mapping stays open with its view for the rest of the process; kept here so it is owned.
os::Handle gMapping = nullptr;

#ifndef _WIN32
// What was attached: the file at the block's name, and how many pages the view guard had
// already replaced in this process.
struct stat gAttached{};
std::size_t gDetachedAtAttach = 0;

bool StatBlockFile(struct stat* st) {
  return ::stat(os::posix::RootedPath(std::string("/dev/shm/") + vigil::block::kName).c_str(), st) == 0;
}
#endif
}  // namespace

int AttachBlock(uint8_t** block) {
  namespace b = vigil::block;
  bool tooSmall = false;
  errno = 0;
  os::Handle mapping = os::OpenNamedMapping(b::kName, b::kSize, &tooSmall);
  if (mapping == nullptr) {
    const int error = errno;
    if (tooSmall) {
      std::fprintf(stderr, "vigilctl: shared block \"%s\" is smaller than %zu bytes: it is not the agent's block\n",
                   b::kName, b::kSize);
    } else if (error == EPERM) {
      std::fprintf(stderr, "vigilctl: the shared block \"%s\" is not the agent's (another user made it, or others "
                           "may change it): not used\n", b::kName);
    } else if (error == EACCES) {
#ifndef _WIN32
      std::fprintf(stderr,
                   "vigilctl: permission denied on the shared block \"%s\": it is open to root and the "
                   "members of the group \"%s\" (usermod -aG %s USER, then log in again)\n",
                   b::kName, os::posix::kAccessGroupName, os::posix::kAccessGroupName);
#else
      std::fprintf(stderr, "vigilctl: permission denied on the shared block \"%s\"\n", b::kName);
#endif
    } else {
      std::fprintf(stderr, "vigilctl: no shared block \"%s\": the agent has not been started\n", b::kName);
    }
    return kExitNoBlock;
  }
  void* view = os::MapWholeView(mapping);
  if (view == nullptr) {
    std::fprintf(stderr, "vigilctl: cannot map the shared block \"%s\"\n", b::kName);
    os::CloseHandle(mapping);
    return kExitNoBlock;
  }
  os::CloseHandle(gMapping);
  gMapping = mapping;
#ifndef _WIN32
  if (!StatBlockFile(&gAttached)) gAttached = {};
  gDetachedAtAttach = os::posix::DetachedPageCount();
#endif
  *block = static_cast<uint8_t*>(view);
  return kExitOk;
}

bool AttachedBlockReplaced() {
#ifdef _WIN32
  return false;  // a section cannot be cut short or renamed while we hold it
#else
  struct stat now{};
  if (!StatBlockFile(&now)) return true;
  return now.st_dev != gAttached.st_dev || now.st_ino != gAttached.st_ino ||
         static_cast<std::size_t>(now.st_size) < vigil::block::kSize ||
         os::posix::DetachedPageCount() != gDetachedAtAttach;
#endif
}

bool AgentStarted(const uint8_t* block) {
  if (vigil::block::LoadU8(block, vigil::block::kStartupComplete) == 1) return true;
  std::fprintf(stderr,
               "vigilctl: the agent has not completed its start-up in this block (start-up flag 0): "
               "it is starting, failed to start, or the block is stale\n");
  return false;
}

}  // namespace vigilctl
