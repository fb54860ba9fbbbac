#include "fixture_tree.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace hwlinux::testing {

FixtureTree::FixtureTree() {
  std::string pattern = (std::filesystem::temp_directory_path() / "hwgate-linux-XXXXXX").string();
  root_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

FixtureTree::~FixtureTree() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void FixtureTree::Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
  std::filesystem::path path = std::filesystem::path(root_) / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

void FixtureTree::Write(const std::string& relative, const std::string& text) const {
  Write(relative, std::vector<uint8_t>(text.begin(), text.end()));
}

void FixtureTree::Fifo(const std::string& relative) const {
  std::filesystem::path path = std::filesystem::path(root_) / relative;
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::remove(path);
  mkfifo(path.c_str(), 0600);
}

void FixtureTree::Link(const std::string& relative, const std::string& target) const {
  std::filesystem::path path = std::filesystem::path(root_) / relative;
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::create_directory_symlink(target, path);
}

int FailingFiles::ReadAll(const std::string& path, size_t limit, std::vector<uint8_t>* out) {
  for (const auto& [suffix, error] : failures_) {
    if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      out->clear();
      return error;
    }
  }
  return SystemFiles().ReadAll(path, limit, out);
}

}  // namespace hwlinux::testing
