// Power off. Inside a sandbox root the request is only recorded: a test can never take the
// machine down.
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <string>

#include "os/os.h"
#include "os/posix/line_files.h"
#include "os/posix/root_paths.h"

namespace os {
namespace {

bool UnderSystemd() {
  struct stat st;
  return stat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode);
}

// Asks systemd for an immediate power-off (no unit stop jobs, as EWX_FORCE closes
// applications without asking). True when systemctl accepted the request.
bool SystemctlPowerOff() {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    const char* argv[] = {"systemctl", "poweroff", "--force", nullptr};
    execvp(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  int status = 0;
  // Retry only an interrupted wait: with SIGCHLD ignored the child is reaped for us and
  // waitpid fails for good (ECHILD), which must not spin the service thread.
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

void ShutdownSystem(const char* message) {
  if (posix::IsSandboxed()) {
    std::string line = posix::IsoTimeUtc() + " " + posix::OneLine(message) + "\n";
    posix::AppendLine(posix::RootedPath("/var/lib/vigilagent/poweroff.log"), line);
    return;
  }
  sync();
  if (UnderSystemd() && SystemctlPowerOff()) return;
  reboot(RB_POWER_OFF);
}

}  // namespace os
