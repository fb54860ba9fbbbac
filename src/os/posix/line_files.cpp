#include "os/posix/line_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

#include "os/posix/root_paths.h"

namespace os::posix {

bool AppendLine(const std::string& path, std::string_view line) {
  if (!MakeParentDirs(path)) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  ssize_t written = write(fd, line.data(), line.size());
  close(fd);
  return written == static_cast<ssize_t>(line.size());
}

bool TruncateFile(const std::string& path) {
  if (!MakeParentDirs(path)) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::string OneLine(const char* text) {
  std::string line = text != nullptr ? text : "";
  for (char& c : line) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return line;
}

std::string IsoTimeUtc() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace os::posix
