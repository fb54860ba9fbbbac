// Files on drive c:. C has no portable stream over memory (fmemopen is POSIX only and MinGW has
// none), and OpenFile must hand out a real FILE*, so the drive is a private temporary folder of
// this process: made at first use, emptied by Reset, removed at exit. Names are folded, so they
// compare without regard to case as on Windows.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "os/drive_path.h"
#include "os/memory/handles.h"
#include "os/memory/memory_port.h"
#include "os/os.h"

namespace os {
namespace {

namespace fs = std::filesystem;

class Drive {
 public:
  ~Drive() { Forget(); }

  // The host path of `windowsPath` on the drive; false when the name is not one on drive c:
  // or the folder cannot be made.
  bool HostPath(const char* windowsPath, fs::path* host) {
    std::string relative;
    if (!PathOnDriveC(windowsPath, &relative)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    std::error_code error;
    if (root_.empty()) {
      std::random_device random;
      const fs::path root = fs::temp_directory_path(error) /
                            ("vigil-memory-drive-" + std::to_string(random()) + "-" +
                             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
      if (error || !fs::create_directories(root, error)) return false;
      root_ = root;
    }
    *host = root_ / fs::path(memory::Fold(relative));
    return true;
  }

  // The next file is made in a new folder. Windows cannot remove a file that is still open,
  // so a folder that stays behind is tried again at the next Forget.
  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!root_.empty()) old_.push_back(root_);
    root_.clear();
    std::vector<fs::path> left;
    for (const fs::path& folder : old_) {
      std::error_code error;
      fs::remove_all(folder, error);
      if (error) left.push_back(folder);
    }
    old_.swap(left);
  }

 private:
  std::mutex mutex_;
  fs::path root_;
  std::vector<fs::path> old_;
};

Drive& TheDrive() {
  static Drive drive;
  return drive;
}

void MakeParents(const fs::path& host) {
  std::error_code ignored;  // fopen then says what went wrong
  fs::create_directories(host.parent_path(), ignored);
}

}  // namespace

std::FILE* OpenFile(const char* windowsPath, const char* mode) {
  fs::path host;
  if (mode == nullptr || *mode == '\0' || !TheDrive().HostPath(windowsPath, &host)) return nullptr;
  // The drive itself always exists on Windows; its folders are the caller's business, but the
  // host folder behind the drive is made here.
  if (mode[0] == 'w' || mode[0] == 'a') MakeParents(host);
  return std::fopen(host.string().c_str(), mode);
}

namespace memory {

bool PutFile(const char* windowsPath, const std::string& contents) {
  fs::path host;
  if (!TheDrive().HostPath(windowsPath, &host)) return false;
  MakeParents(host);
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out << contents;
  return static_cast<bool>(out.flush());
}

std::optional<std::string> FileContents(const char* windowsPath) {
  fs::path host;
  if (!TheDrive().HostPath(windowsPath, &host)) return std::nullopt;
  std::ifstream in(host, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ResetFiles() { TheDrive().Forget(); }

}  // namespace memory
}  // namespace os
