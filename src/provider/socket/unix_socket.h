// Small blocking helpers over UNIX stream sockets for the platform providers (hwgate-sim,
// hwgate-linux) and their clients. Any thread may call them; each works on its own descriptor.
#pragma once

#include <cstddef>
#include <string>

#include "os/os.h"

namespace hwgate {

// Descriptors and the read's three outcomes are what callers act on, so these keep the POSIX
// shape (a descriptor or -1) and an enum; WriteAll is a plain step.

// Connected socket, or -1 (errno set).
int ConnectUnix(const std::string& path);

// Listens on `path`, making its directory. A socket file nobody answers on is stale and is
// replaced; a live one is refused. The file appears only once the socket listens (bound under
// a temporary name, then renamed), so a client that sees it can connect, and only with its
// access in place (os::SetSocketAccess), so no other local user can connect. -1 with *error.
int ListenUnix(const std::string& path, os::SocketAccess access, std::string* error);

enum class ReadResult { kOk, kClosed, kBroken };
// Reads exactly `count` bytes. Before the first byte it waits without limit when `idleOk`,
// otherwise every wait is bounded by `timeoutMs`: a peer that stalls mid-message is broken.
// kClosed only when the peer closed before the first byte.
ReadResult ReadFull(int fd, void* buffer, size_t count, bool idleOk, int timeoutMs);
// Writes all `count` bytes. 0 success, -1 when the peer is gone or the socket failed.
int WriteAll(int fd, const void* buffer, size_t count);

}  // namespace hwgate
