#include "ctl_client.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "sim_paths.h"
#include "provider/socket/unix_socket.h"

namespace hwsim {

int RunControlClient(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
  std::string path = ControlSocketPath();
  int fd = hwgate::ConnectUnix(path);
  if (fd < 0) {
    std::cerr << "hwgate-sim ctl: no simulator answers on " << path << ": " << std::strerror(errno) << "\n";
    return 3;
  }
  line += "\n";
  std::string reply;
  if (hwgate::WriteAll(fd, line.data(), line.size()) == 0) {
    char chunk[4096];
    for (ssize_t n; (n = read(fd, chunk, sizeof(chunk))) > 0;) reply.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  size_t eol = reply.find('\n');
  std::string status = reply.substr(0, eol);
  std::string body = eol == std::string::npos ? "" : reply.substr(eol + 1);
  if (status == "ok") {
    std::cout << body;
    return 0;
  }
  if (status.rfind("error: ", 0) == 0) {
    std::cerr << "hwgate-sim ctl: " << status.substr(7) << "\n";
    return 1;
  }
  std::cerr << "hwgate-sim ctl: no answer from the simulator\n";
  return 3;
}

}  // namespace hwsim
