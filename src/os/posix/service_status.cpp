#include "os/posix/service_status.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace os::posix {

const char* ServiceStateName(uint32_t state) {
  switch (state) {
    case kServiceStopped: return "STOPPED";
    case kServiceStartPending: return "START_PENDING";
    case kServiceStopPending: return "STOP_PENDING";
    case kServiceRunning: return "RUNNING";
    case 5: return "CONTINUE_PENDING";
    case 6: return "PAUSE_PENDING";
    case 7: return "PAUSED";
    default: return nullptr;
  }
}

std::string StatusLine(const ServiceStatus& status) {
  const char* name = ServiceStateName(status.currentState);
  return std::string(name != nullptr ? name : "UNKNOWN") +
         " controls=" + std::to_string(status.controlsAccepted) +
         " exit=" + std::to_string(status.win32ExitCode) +
         " service_exit=" + std::to_string(status.serviceSpecificExitCode) +
         " checkpoint=" + std::to_string(status.checkPoint) +
         " wait_hint=" + std::to_string(status.waitHint) + "\n";
}

std::string NotifyMessage(const ServiceStatus& status) {
  std::string message;
  if (status.currentState == kServiceRunning) message += "READY=1\n";
  if (status.currentState == kServiceStopPending) message += "STOPPING=1\n";
  const char* name = ServiceStateName(status.currentState);
  message += std::string("STATUS=") + (name != nullptr ? name : "UNKNOWN");
  return message;
}

bool SendNotify(const char* notifySocket, const std::string& message) {
  if (notifySocket == nullptr) return false;
  std::size_t length = std::strlen(notifySocket);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (length < 2 || length > sizeof address.sun_path) return false;
  if (notifySocket[0] != '/' && notifySocket[0] != '@') return false;
  if (notifySocket[0] == '/' && length == sizeof address.sun_path) return false;  // no room for NUL
  std::memcpy(address.sun_path, notifySocket, length);
  if (notifySocket[0] == '@') address.sun_path[0] = '\0';  // abstract namespace
  socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length +
                                          (notifySocket[0] == '/' ? 1 : 0));
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ssize_t sent = sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), size);
  close(fd);
  return sent == static_cast<ssize_t>(message.size());
}

}  // namespace os::posix
