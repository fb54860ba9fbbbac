// Message boxes: a daemon has no desktop and must not wait for a click, so the box becomes one
// line where an administrator looks (stderr, syslog) and one in messages.log for tests.
#include <syslog.h>
#include <unistd.h>

#include <string>

#include "os/os.h"
#include "os/posix/line_files.h"
#include "os/posix/root_paths.h"
#include "os/posix/syslog_sink.h"

namespace os {

void MessageBox(const char* text, const char* caption, uint32_t flags) {
  std::string line = "Vigilagent: " + posix::OneLine(caption) + ": " + posix::OneLine(text);
  constexpr uint32_t kIconMask = 0xF0;
  int priority = (flags & kIconMask) == kMbIconError ? LOG_ERR : LOG_WARNING;
  posix::WriteSyslog("Vigilagent", priority, line);
  line.push_back('\n');
  ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;  // nothing useful to do when stderr is gone
  posix::AppendLine(posix::RootedPath("/var/log/vigilagent/messages.log"), line);
}

}  // namespace os
