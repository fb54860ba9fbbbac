// The Linux access model of the agent's sockets: root and the members of the `vigilagent`
// group may connect, nobody else. Where the group does not exist (a minimal system, an
// initramfs, a sandbox) the provider's own group stands in; a missing group never stops it.
#pragma once

#include <string>

#include "unix_socket.h"

namespace hwgate {

constexpr char kAgentGroup[] = "vigilagent";

// Mode 0660 and the agent group's id, or the process's effective group when there is no such
// group. *groupName gets the name used (for the start-up line). Never fails; any thread.
SocketAccess AgentSocketAccess(std::string* groupName);

}  // namespace hwgate
