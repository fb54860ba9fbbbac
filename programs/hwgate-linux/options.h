// The command line of hwgate-linux.
#pragma once

#include <string>
#include <vector>

namespace hwlinux {

enum class LogChoice { kAuto, kSmbios, kIpmi, kNone };

struct Options {
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  LogChoice eventLog = LogChoice::kAuto;
  std::string configPath;  // empty: no configuration file
  bool probe = false;
};

// Returns 0, or -1 with *error naming the bad argument.
int ParseOptions(const std::vector<std::string>& args, Options* out, std::string* error);

extern const char kUsage[];

}  // namespace hwlinux
