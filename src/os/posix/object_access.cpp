#include "os/posix/object_access.h"

#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "os/os.h"

namespace os::posix {

gid_t AccessGroup() {
  // Read from /etc/group itself rather than through NSS: the package's sysusers file creates
  // the group there, and an NSS lookup would map every module nsswitch.conf names (the
  // systemd one and the libraries it links) into the agent for the rest of its life. Without
  // the file or the group, the objects stay with the process's own group, which still keeps
  // every other user out.
  FILE* file = std::fopen("/etc/group", "re");
  if (file == nullptr) return getegid();
  gid_t gid = getegid();
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(4096);
  while (true) {
    const int status = fgetgrent_r(file, &entry, buffer.data(), buffer.size(), &found);
    if (status == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);  // the entry is read again into the larger buffer
      continue;
    }
    if (status != 0) break;
    if (std::strcmp(found->gr_name, kAccessGroupName) == 0) {
      gid = found->gr_gid;
      break;
    }
  }
  std::fclose(file);
  return gid;
}

bool SetObjectAccess(int fd, mode_t mode) {
  return fchown(fd, static_cast<uid_t>(-1), AccessGroup()) == 0 && fchmod(fd, mode) == 0;
}

bool SetPathAccess(const std::string& path, mode_t mode) {
  return lchown(path.c_str(), static_cast<uid_t>(-1), AccessGroup()) == 0 &&
         chmod(path.c_str(), mode) == 0;
}

}  // namespace os::posix

namespace os {

bool SetSocketAccess(const char* path, SocketAccess access) {
  return posix::SetPathAccess(path, access == SocketAccess::kOwnerOnly ? posix::kOwnerOnlyMode : posix::kObjectMode);
}

}  // namespace os

namespace os::posix {

bool IsTrustedObject(const struct stat& st) {
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1) return false;
  if (st.st_uid != 0 && st.st_uid != geteuid()) return false;
  mode_t permissions = st.st_mode & 07777;
  if ((permissions & ~kObjectMode) != 0) return false;
  return (permissions & 0070) == 0 || st.st_gid == AccessGroup();
}

bool RemoveUntrusted(const std::string& path, const char* why) {
  bool removed = unlink(path.c_str()) == 0 || (errno == EISDIR && rmdir(path.c_str()) == 0);
  int saved = errno;
  std::string text = path + (removed ? " was removed and made anew: " : " cannot be removed: ") + why;
  MessageBox(text.c_str(), "Shared objects", kMbIconWarning);
  errno = saved;
  return removed;
}

}  // namespace os::posix
