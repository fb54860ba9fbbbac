#include "os/posix/syslog_sink.h"

#include <syslog.h>

#include <mutex>

#include "os/posix/sink_probe.h"

namespace os::posix {

namespace {

void WriteToSyslog(const std::string& ident, int priority, const std::string& text) {
  // openlog keeps the ident pointer and is process-wide: the lock keeps one caller's ident
  // from being used for another's line (event log and message boxes use different idents).
  // The log stays open between lines, so a run of reports under one ident costs one send
  // each rather than a connection each.
  static std::mutex mutex;
  static std::string openIdent;
  static SinkProbe syslogSocket("/dev/log");
  // Without the socket syslog() drops the line anyway, after a connection attempt of its own.
  if (!syslogSocket.Present()) return;
  std::lock_guard<std::mutex> lock(mutex);
  if (openIdent.empty() || openIdent != ident) {
    closelog();
    openIdent = ident;
    openlog(openIdent.c_str(), LOG_PID, LOG_DAEMON);
  }
  syslog(priority, "%s", text.c_str());
}

SyslogWriter gWriter = WriteToSyslog;

}  // namespace

void WriteSyslog(const std::string& ident, int priority, const std::string& text) { gWriter(ident, priority, text); }

void SetSyslogWriter(SyslogWriter writer) { gWriter = writer != nullptr ? writer : WriteToSyslog; }

}  // namespace os::posix
