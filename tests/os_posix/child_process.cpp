#include "child_process.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace vigil::test {

pid_t ForkChild(const std::function<int()>& body) {
  pid_t child = fork();
  if (child == 0) _exit(body());
  return child;
}

pid_t ForkChildAsNobody(const std::function<int()>& body) {
  return ForkChild([&body] {
    passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
        setuid(nobody->pw_uid) != 0) {
      return 99;
    }
    return body();
  });
}

int WaitChild(pid_t child, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

int RunInChild(const std::function<int()>& body, std::chrono::milliseconds timeout) {
  return WaitChild(ForkChild(body), timeout);
}

}  // namespace vigil::test
