// Service status reports: the status file line and the systemd notification.
#pragma once

#include <string>

#include "os/os.h"

namespace os::posix {

// "START_PENDING", "RUNNING", ... for a SERVICE_STATUS current state; null for an unknown one.
const char* ServiceStateName(uint32_t state);
// "<STATE> controls=<n> exit=<n> service_exit=<n> checkpoint=<n> wait_hint=<n>\n".
std::string StatusLine(const ServiceStatus& status);
// The sd_notify message: READY=1 on RUNNING, STOPPING=1 on STOP_PENDING, STATUS=<state>.
std::string NotifyMessage(const ServiceStatus& status);
// Sends `message` as one datagram to the socket named by `notifySocket` (a path, or an
// abstract name starting with '@'). False when it is malformed or the send fails.
bool SendNotify(const char* notifySocket, const std::string& message);

}  // namespace os::posix
