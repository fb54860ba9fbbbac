#include "os/posix/syslog_sink.h"

#include <syslog.h>

#include <mutex>

namespace os::posix {

namespace {

void WriteToSyslog(const std::string& ident, int priority, const std::string& text) {
  // openlog keeps the ident pointer and is process-wide: the lock keeps one caller's ident
  // from being used for another's line (event log and message boxes use different idents).
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  openlog(ident.c_str(), LOG_PID, LOG_DAEMON);
  syslog(priority, "%s", text.c_str());
  closelog();
}

SyslogWriter gWriter = WriteToSyslog;

}  // namespace

void WriteSyslog(const std::string& ident, int priority, const std::string& text) { gWriter(ident, priority, text); }

void SetSyslogWriter(SyslogWriter writer) { gWriter = writer != nullptr ? writer : WriteToSyslog; }

}  // namespace os::posix
