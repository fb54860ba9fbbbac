// The provider's one way to read kernel files (sysfs attributes, the DMI table, hwmon values).
// A seam: tests wrap it to make a file answer EIO, as dmi-sysfs does for a log it cannot read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hwlinux {

class FileReader {
 public:
  virtual ~FileReader() = default;
  // Reads the whole file, at most `limit` bytes (sysfs hands out at most a page per read, so
  // this reads until end of file). Returns 0, or the errno of the failure (*out then empty).
  // More than `limit` bytes is EFBIG; anything but a regular file is EINVAL, without waiting.
  // Any thread.
  virtual int ReadAll(const std::string& path, size_t limit, std::vector<uint8_t>* out) = 0;
  // Names in a directory, sorted, without "." and "..". Returns 0 or an errno.
  virtual int List(const std::string& path, std::vector<std::string>* names) = 0;
  // Canonical path with symbolic links resolved, or "" when the path does not exist.
  virtual std::string Resolve(const std::string& path) = 0;
};

// The real file system.
FileReader& SystemFiles();

// The file as text with surrounding blanks and the trailing newline removed. 0 success, -1 when
// it cannot be read (or is longer than a sysfs attribute can be).
int ReadText(FileReader& files, const std::string& path, std::string* text);
// A decimal (or 0x-prefixed hexadecimal) integer attribute. 0 success, -1 when unreadable or
// not a number.
int ReadNumber(FileReader& files, const std::string& path, int64_t* value);

// `text` without surrounding blanks.
std::string Trim(const std::string& text);

}  // namespace hwlinux
