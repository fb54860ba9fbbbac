// vigilctl reg import FILE.reg | reg export KEY
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "command.h"
#include "reg_file.h"
#include "reg_registry.h"

namespace vigilctl {
namespace {

constexpr std::size_t kMaxRegFile = 64 * 1024 * 1024;

int Usage() {
  std::fprintf(stderr, "usage: vigilctl reg import FILE.reg | vigilctl reg export KEY\n");
  return kExitUsage;
}

bool ReadWholeFile(const char* path, std::string* text) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  std::size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text->size() + n > kMaxRegFile) {
      ok = false;
      break;
    }
    text->append(buffer, n);
  }
  ok = ok && !std::ferror(file);
  std::fclose(file);
  return ok;
}

// "HKEY_LOCAL_MACHINE\X", "HKLM\X" or plain "X" -> "X".
std::string KeyBelowRoot(std::string key) {
  for (std::string prefix : {std::string(kRegRoot) + "\\", std::string("HKLM\\")}) {
    bool same = key.size() >= prefix.size();
    for (std::size_t i = 0; same && i < prefix.size(); ++i) {
      same = std::tolower(static_cast<unsigned char>(key[i])) == std::tolower(static_cast<unsigned char>(prefix[i]));
    }
    if (same) {
      return key.substr(prefix.size());
    }
  }
  return key;
}

int Import(const char* path) {
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    std::fprintf(stderr, "vigilctl: cannot read %s\n", path);
    return kExitFailed;
  }
  // Everything is parsed before anything is written: a bad line leaves the registry alone.
  RegParseResult parsed = ParseRegFile(text);
  if (parsed.errorLine != 0) {
    std::fprintf(stderr, "vigilctl: %s:%d: %s; nothing imported\n", path, parsed.errorLine, parsed.error.c_str());
    return kExitFailed;
  }
  std::string error;
  if (ApplyRegOperations(parsed.operations, &error) != 0) {
    std::fprintf(stderr, "vigilctl: %s: %s\n", path, error.c_str());
    return kExitFailed;
  }
  std::printf("imported %zu operations from %s\n", parsed.operations.size(), path);
  return kExitOk;
}

int Export(const char* key) {
  std::string text, error;
  if (ExportRegKey(KeyBelowRoot(key), &text, &error) != 0) {
    std::fprintf(stderr, "vigilctl: %s\n", error.c_str());
    return kExitFailed;
  }
  std::fputs(text.c_str(), stdout);
  return kExitOk;
}

}  // namespace

int RunReg(int argc, char** argv) {
  if (argc != 3) return Usage();
  if (std::strcmp(argv[1], "import") == 0) return Import(argv[2]);
  if (std::strcmp(argv[1], "export") == 0) return Export(argv[2]);
  return Usage();
}

}  // namespace vigilctl
