// Whether an agent is running and answering behind the block, from what it publishes besides
// the block: its service status and its request channel.
#pragma once

namespace vigilctl {

// False when the agent's last service status report says anything but RUNNING (stopping,
// stopped, still starting), or RUNNING with a note (its block is not the one clients see). True when it says RUNNING, or when there is no report this
// client can read (another platform, no status file): the request channel then decides.
bool ServiceReportsRunning();

// Whether some process holds the agent's request event: the agent holds it for as long as it
// serves requests, and a killed agent's event is gone with it.
bool RequestChannelHeld();

}  // namespace vigilctl
