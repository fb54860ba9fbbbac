#include "metrics_server_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>

namespace vigil::test {

using namespace std::chrono_literals;

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

MetricsServerProbe::MetricsServerProbe(const std::vector<std::string>& args) {
  std::vector<std::string> full{"serve-metrics", "--listen", "127.0.0.1:0"};
  full.insert(full.end(), args.begin(), args.end());
  process_ = std::make_unique<Process>(BinaryPath("vigilctl"), full);
  const std::regex serving(R"(serving /metrics on 127\.0\.0\.1:(\d+))");
  WaitUntil(
      [&] {
        std::smatch m;
        const std::string out = process_->Stdout();
        if (!std::regex_search(out, m, serving)) return !process_->Running();
        port_ = std::stoi(m[1]);
        return true;
      },
      10s);
}

MetricsServerProbe::~MetricsServerProbe() { Stop(); }

int MetricsServerProbe::ConnectRaw() const {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(port_);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

void MetricsServerProbe::SendRaw(const std::string& bytes) const {
  int fd = ConnectRaw();
  if (fd < 0) return;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server closed on us: that is the point
    sent += std::size_t(n);
  }
  ::close(fd);
}

void MetricsServerProbe::CloseRaw(int fd) const {
  if (fd >= 0) ::close(fd);
}

bool MetricsServerProbe::Stop() {
  if (!process_ || !process_->Running()) return process_ && process_->Wait(0ms) == 0;
  process_->Signal(SIGTERM);
  return process_->Wait(10s) == 0;
}

int ConnectUnix(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

std::string Exchange(int fd, const std::string& request) {
  std::string answer;
  if (fd < 0) return answer;
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
    char buffer[16384];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 5000) != 1) break;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      answer.append(buffer, std::size_t(n));
    }
  }
  ::close(fd);
  return answer;
}

}  // namespace vigil::test
