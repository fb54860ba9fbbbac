#include "socket_access.h"

#include <grp.h>
#include <unistd.h>

#include <vector>

namespace hwgate {

SocketAccess AgentSocketAccess(std::string* groupName) {
  SocketAccess access;
  access.mode = 0660;
  group entry;
  group* found = nullptr;
  std::vector<char> scratch(16384);
  if (getgrnam_r(kAgentGroup, &entry, scratch.data(), scratch.size(), &found) == 0 && found != nullptr) {
    access.gid = static_cast<int>(found->gr_gid);
    *groupName = kAgentGroup;
    return access;
  }
  access.gid = static_cast<int>(getegid());
  *groupName = "gid " + std::to_string(access.gid);
  return access;
}

}  // namespace hwgate
