#include "options.h"

namespace hwlinux {

const char kUsage[] =
    "usage: hwgate-linux [--sysfs-root DIR] [--dev-root DIR] [--event-log auto|smbios|ipmi|none]\n"
    "                    [--config FILE] [--probe]\n";

int ParseOptions(const std::vector<std::string>& args, Options* out, std::string* error) {
  *out = Options();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--probe") {
      out->probe = true;
      continue;
    }
    if (arg != "--sysfs-root" && arg != "--dev-root" && arg != "--event-log" && arg != "--config") {
      *error = "unknown argument " + arg;
      return -1;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      *error = arg + " needs a value";
      return -1;
    }
    const std::string& value = args[++i];
    if (arg == "--sysfs-root") {
      out->sysfsRoot = value;
    } else if (arg == "--dev-root") {
      out->devRoot = value;
    } else if (arg == "--config") {
      out->configPath = value;
    } else if (value == "auto") {
      out->eventLog = LogChoice::kAuto;
    } else if (value == "smbios") {
      out->eventLog = LogChoice::kSmbios;
    } else if (value == "ipmi") {
      out->eventLog = LogChoice::kIpmi;
    } else if (value == "none") {
      out->eventLog = LogChoice::kNone;
    } else {
      *error = "--event-log takes auto, smbios, ipmi or none, not " + value;
      return -1;
    }
  }
  return 0;
}

}  // namespace hwlinux
