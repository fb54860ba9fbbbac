#include "file_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace hwlinux {

namespace {

constexpr size_t kChunk = 4096;         // sysfs gives at most one page per read
constexpr size_t kAttributeLimit = 4096;

class System : public FileReader {
 public:
  int ReadAll(const std::string& path, size_t limit, std::vector<uint8_t>* out) override {
    out->clear();
    // Sysfs attributes are regular files. Anything else (a FIFO or a device put in a tree
    // handed to us, /dev/zero behind a link) could block or never end: it is refused, and
    // O_NONBLOCK keeps even the open of a FIFO from waiting for a writer.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return EINVAL;
    }
    // A binary attribute gives its real size; text attributes say a page and hold less.
    if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > limit + kChunk) {
      close(fd);
      return EFBIG;
    }
    int error = 0;
    while (true) {
      size_t at = out->size();
      out->resize(at + kChunk);
      ssize_t n = read(fd, out->data() + at, kChunk);
      if (n < 0 && errno == EINTR) {
        out->resize(at);
        continue;
      }
      if (n < 0) error = errno;
      out->resize(at + (n > 0 ? static_cast<size_t>(n) : 0));
      if (n <= 0) break;
      if (out->size() > limit) {
        error = EFBIG;
        break;
      }
    }
    close(fd);
    if (error != 0) out->clear();
    return error;
  }

  int List(const std::string& path, std::vector<std::string>* names) override {
    names->clear();
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return errno;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return 0;
  }

  std::string Resolve(const std::string& path) override {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
  }
};

}  // namespace

FileReader& SystemFiles() {
  static System system;
  return system;
}

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

int ReadText(FileReader& files, const std::string& path, std::string* text) {
  std::vector<uint8_t> bytes;
  if (files.ReadAll(path, kAttributeLimit, &bytes) != 0) return -1;
  *text = Trim(std::string(bytes.begin(), bytes.end()));
  return 0;
}

int ReadNumber(FileReader& files, const std::string& path, int64_t* value) {
  std::string text;
  if (ReadText(files, path, &text) != 0 || text.empty()) return -1;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return -1;
  *value = parsed;
  return 0;
}

}  // namespace hwlinux
