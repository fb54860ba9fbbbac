// Who may reach the port's named objects and sockets on Linux: their owner (root, or the
// agent's own user in a sandbox) and the members of the `vigilagent` group, nobody else. An
// object another user could have made or could still change is never adopted. Any thread may
// call these.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace os::posix {

constexpr const char* kAccessGroupName = "vigilagent";
// Named objects and the provider's device socket: owner and group read and write.
constexpr mode_t kObjectMode = 0660;
// Sockets only the owner may use (the simulator's control socket).
constexpr mode_t kOwnerOnlyMode = 0600;

// The group the port gives its objects: `vigilagent` where the system has it, otherwise the
// process's own effective group (a minimal system, an initramfs, a sandbox). Never fails.
gid_t AccessGroup();

// Gives the open file `fd` the access group and `mode`. False on failure (errno set).
bool SetObjectAccess(int fd, mode_t mode);
// The same for a path, without following a final symbolic link (for sockets, which have no
// descriptor to change). False on failure.
bool SetPathAccess(const std::string& path, mode_t mode);

// Whether an existing object may be used: a regular file with one name, owned by root or by
// this process's effective user, with no permission beyond kObjectMode, and writable by its
// group only when that group is the access group.
bool IsTrustedObject(const struct stat& st);

// Removes what is at `path` (a file, a link, a socket, an empty directory) without following
// links, and records in the message log that it was not adopted and why. False when it could
// not be removed (errno set).
bool RemoveUntrusted(const std::string& path, const char* why);

}  // namespace os::posix
