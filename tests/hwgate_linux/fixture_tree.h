// A throw-away directory tree standing in for /sys, and a file reader that makes chosen files
// answer an errno, as dmi-sysfs answers EIO for a log the kernel cannot read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "file_reader.h"

namespace hwlinux::testing {

class FixtureTree {
 public:
  FixtureTree();
  ~FixtureTree();
  const std::string& Root() const { return root_; }
  void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
  void Write(const std::string& relative, const std::string& text) const;
  void Link(const std::string& relative, const std::string& target) const;
  // A FIFO nobody writes to: reading it would wait for ever.
  void Fifo(const std::string& relative) const;

 private:
  std::string root_;
};

class FailingFiles : public FileReader {
 public:
  // Files whose path ends with `suffix` answer `error`.
  void Fail(const std::string& suffix, int error) { failures_[suffix] = error; }
  int ReadAll(const std::string& path, size_t limit, std::vector<uint8_t>* out) override;
  int List(const std::string& path, std::vector<std::string>* names) override {
    return SystemFiles().List(path, names);
  }
  std::string Resolve(const std::string& path) override { return SystemFiles().Resolve(path); }

 private:
  std::map<std::string, int> failures_;
};

}  // namespace hwlinux::testing
