// Small blocking helpers over UNIX stream sockets for the platform providers (hwgate-sim,
// hwgate-linux) and their clients. Any thread may call them; each works on its own descriptor.
#pragma once

#include <cstddef>
#include <string>

namespace hwgate {

// Connected socket, or -1 (errno set).
int ConnectUnix(const std::string& path);

// Who may connect: the socket file's mode, and its group (-1 keeps the creator's group).
struct SocketAccess {
  unsigned mode = 0666;
  int gid = -1;
};

// Listens on `path`, making its directory. A socket file nobody answers on is stale and is
// replaced; a live one is refused. The file appears only once the socket listens (bound under
// a temporary name, given its mode and group, then renamed), so a client that sees it can
// connect and nobody outside `access` ever could. -1 with *error.
int ListenUnix(const std::string& path, std::string* error, const SocketAccess& access = {});

enum class ReadResult { kOk, kClosed, kBroken };
// Reads exactly `count` bytes. Before the first byte it waits without limit when `idleOk`,
// otherwise every wait is bounded by `timeoutMs`: a peer that stalls mid-message is broken.
// kClosed only when the peer closed before the first byte.
ReadResult ReadFull(int fd, void* buffer, size_t count, bool idleOk, int timeoutMs);
bool WriteAll(int fd, const void* buffer, size_t count);

}  // namespace hwgate
