// The textfile of `metrics --textfile DIR`: a temporary file in DIR renamed over the old one.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "command.h"
#include "metrics_scrape.h"

#ifdef _WIN32
#include <filesystem>
#include <system_error>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vigilctl {

std::string ErrnoText(int error) {
  std::string text = std::strerror(error);
#if defined(__GLIBC__)
  if (const char* name = strerrorname_np(error)) text += std::string(" (") + name + ")";
#endif
  return text;
}

namespace {

// A name the collectors skip (they read *.prom), unique to this writer.
std::string TemporaryName() {
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%08x.tmp", unsigned(std::random_device{}()));
  return std::string(".") + kTextfileName + suffix;
}

int Fail(const std::string& dir, const std::string& why) {
  std::fprintf(stderr, "vigilctl: cannot write %s/%s: %s\n", dir.c_str(), kTextfileName, why.c_str());
  return kExitFailed;
}

}  // namespace

#ifdef _WIN32

int WriteTextfile(const std::string& dir, const std::string& text) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(dir, error)) return Fail(dir, "not a directory");
  const fs::path temporary = fs::path(dir) / TemporaryName();
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) return Fail(dir, ErrnoText(errno));
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeError = errno;
  written = std::fclose(file) == 0 && written;
  if (written) fs::rename(temporary, fs::path(dir) / kTextfileName, error);
  if (!written || error) {
    fs::remove(temporary, error);
    return Fail(dir, written ? error.message() : ErrnoText(writeError));
  }
  return kExitOk;
}

#else

bool TextfileFolderSafe(const struct stat& st, unsigned us) {
  // Anyone else who may create and rename entries here could swap our temporary file for a
  // link between its creation and its rename. A sticky folder stops them only if it is ours:
  // in a folder owned by someone else the owner still may.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
  return (st.st_mode & S_ISVTX) != 0 && st.st_uid == us;
}

int WriteTextfile(const std::string& dir, const std::string& text) {
  const int folder = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return Fail(dir, errno == ENOTDIR ? "not a directory" : ErrnoText(errno));
  struct stat st{};
  if (fstat(folder, &st) != 0 || !TextfileFolderSafe(st, geteuid())) {
    close(folder);
    return Fail(dir, "other users may write to the folder, and it is not sticky and ours: one of them could "
                     "swap the file for a link to another (make it 0755, or 1777 owned by this user)");
  }
  // Made here, never followed: nothing another process put under this name is written or
  // given our mode, and the mode goes on the descriptor, whatever our umask.
  const std::string temporary = TemporaryName();
  const int fd = openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    close(folder);
    return Fail(dir, ErrnoText(error));
  }
  int error = 0;
  if (fchmod(fd, 0644) != 0) error = errno;
  for (std::size_t done = 0; error == 0 && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : EIO;
    else done += std::size_t(n);
  }
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && renameat(folder, temporary.c_str(), folder, kTextfileName) != 0) error = errno;
  if (error != 0) unlinkat(folder, temporary.c_str(), 0);
  close(folder);
  return error == 0 ? kExitOk : Fail(dir, ErrnoText(error));
}

#endif

}  // namespace vigilctl
