// The system log (journald collects it under systemd).
#pragma once

#include <string>

namespace os::posix {

// Writes `text` to syslog under `ident` at `priority` (LOG_ERR, LOG_WARNING, ...). The text is
// passed as data, never as a format.
void WriteSyslog(const std::string& ident, int priority, const std::string& text);

// Test seam: what WriteSyslog hands its line to; null restores syslog itself. Set before
// reports start, not while another thread reports.
using SyslogWriter = void (*)(const std::string& ident, int priority, const std::string& text);
void SetSyslogWriter(SyslogWriter writer);

}  // namespace os::posix
