// `vigilctl serve-metrics` hands over to the server program: vigilctl as a whole links the
// registry (SQLite), SNMP (net-snmp, OpenSSL) and the C++ runtime as shared libraries, about
// 4 MiB of mapped pages that a long-running metrics server never uses.
#include <unistd.h>

#include <string>
#include <vector>

#include "command.h"

namespace vigilctl {

int RunServeMetricsProgram(int argc, char** argv) {
  std::string self(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length > 0) {
    self.resize(std::size_t(length));
    const std::string program = self.substr(0, self.rfind('/') + 1) + kServerProgram;
    std::vector<char*> args{const_cast<char*>(kServerProgram)};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(program.c_str(), args.data());
  }
  // Not installed beside vigilctl (a partial copy): the same server, in this process.
  return RunServeMetrics(argc, argv);
}

}  // namespace vigilctl
