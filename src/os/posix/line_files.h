// Line-oriented record files (event log sink, message boxes, power-off record, service status).
#pragma once

#include <string>
#include <string_view>

namespace os::posix {

// Appends `line` (which should end in '\n') with one write() on an O_APPEND descriptor, so
// lines of concurrent writers, threads or processes, never interleave. Creates the file (0644)
// and its directories. True when the whole line was written.
bool AppendLine(const std::string& path, std::string_view line);
// Empties the file, creating it and its directories when missing.
bool TruncateFile(const std::string& path);
// `text` with every control character (CR, LF, ...) replaced by a space, so that one record
// stays one line whatever the caller passed. Null gives "".
std::string OneLine(const char* text);
// The current time as "YYYY-MM-DDTHH:MM:SSZ" (UTC).
std::string IsoTimeUtc();

}  // namespace os::posix
