// serve-metrics under attack, on loopback only: how long a real scrape takes and how much
// memory the server holds while 64 slow-loris clients (one header byte a second) and 64
// clients sending one endless header line are connected, against the same server idle.
// Bounded: about 15 s of attack, then every connection is closed and the server stopped.
//
//   metrics_attack [serve-metrics options, e.g. --threads 64]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/agent_rig.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSlowClients = 64;
constexpr int kHeaderFloods = 64;
constexpr auto kAttack = std::chrono::seconds(15);
constexpr int kScrapes = 10;

// A non-blocking connection to the port, or -1: a full listen queue must not hold the bench
// for the kernel's two minutes of SYN retries.
int Connect(int port, std::chrono::milliseconds limit) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  pollfd p{fd, POLLOUT, 0};
  int error = 0;
  socklen_t length = sizeof error;
  if (errno != EINPROGRESS || poll(&p, 1, int(limit.count())) != 1 ||
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A /proc/PID/status field in KiB: VmRSS (all resident pages, shared library pages too) or
// RssAnon (the process's own memory: heap, stacks, connection pools).
long StatusKiB(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}
long RssKiB(pid_t pid) { return StatusKiB(pid, "VmRSS"); }

// One GET /metrics on a new connection; seconds until the whole answer arrived, or -1 when
// none came within 15 s.
double TimedScrape(int port) {
  const auto start = Clock::now();
  const int fd = Connect(port, std::chrono::seconds(15));
  if (fd < 0) return -1;
  const std::string request = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  pollfd writable{fd, POLLOUT, 0};
  if (poll(&writable, 1, 15000) != 1 || send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
    close(fd);
    return -1;
  }
  std::string answer;
  char buffer[16384];
  while (Clock::now() - start < std::chrono::seconds(15)) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 500) <= 0) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, std::size_t(n));
  }
  close(fd);
  const bool ok = answer.rfind("HTTP/1.1 200", 0) == 0 && answer.find("vigil_agent_up") != std::string::npos;
  return ok ? std::chrono::duration<double>(Clock::now() - start).count() : -1;
}

// The attackers, each on its own connection, for `kAttack`; reconnects when the server drops
// one, so the pressure lasts.
void Attack(int port, std::atomic<bool>* stop, std::atomic<long>* reconnects) {
  std::vector<int> slow(kSlowClients, -1), flood(kHeaderFloods, -1);
  const std::string filler(16384, 'x');
  auto fresh = [&](int* fd, const std::string& opening) {
    if (*fd >= 0) close(*fd);
    *fd = Connect(port, std::chrono::milliseconds(10));
    if (*fd < 0) return;
    send(*fd, opening.data(), opening.size(), MSG_NOSIGNAL);
  };
  for (int& fd : slow) fresh(&fd, "GET /metrics HTTP/1.1\r\nX-Slow: ");
  for (int& fd : flood) fresh(&fd, "GET /metrics HTTP/1.1\r\nX-Fill: ");
  auto lastTick = Clock::now();
  while (!stop->load()) {
    for (int& fd : flood) {
      if (fd < 0 || send(fd, filler.data(), filler.size(), MSG_NOSIGNAL) < 0) {
        if (fd < 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
          fresh(&fd, "GET /metrics HTTP/1.1\r\nX-Fill: ");
          reconnects->fetch_add(1);
        }
      }
    }
    if (Clock::now() - lastTick >= std::chrono::seconds(1)) {
      lastTick = Clock::now();
      for (int& fd : slow) {
        if (fd < 0 || send(fd, "a", 1, MSG_NOSIGNAL) != 1) {
          fresh(&fd, "GET /metrics HTTP/1.1\r\nX-Slow: ");
          reconnects->fetch_add(1);
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (int fd : slow) if (fd >= 0) close(fd);
  for (int fd : flood) if (fd >= 0) close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  vigil::test::AgentRig rig("vigil-bench-");
  if (rig.Start("kelvo-b720.json") != 0) {
    std::fprintf(stderr, "metrics_attack: could not start the simulator and the agent under %s\n%s\n",
                 rig.sandbox().root().c_str(), rig.Log().c_str());
    return 1;
  }
  const int port = vigil::test::FreeLoopbackPort();
  std::vector<std::string> args{"serve-metrics", "--listen", "127.0.0.1:" + std::to_string(port)};
  args.insert(args.end(), argv + 1, argv + argc);
  vigil::test::Process serverProcess(vigil::test::BinaryPath("vigilctl"), args);
  const pid_t server = serverProcess.pid();
  if (!vigil::test::WaitUntil([&] { return TimedScrape(port) >= 0; }, std::chrono::seconds(10))) {
    std::fprintf(stderr, "metrics_attack: serve-metrics did not come up\n%s\n", serverProcess.Stderr().c_str());
    return 1;
  }
  std::vector<double> idle;
  for (int i = 0; i < kScrapes; ++i) idle.push_back(TimedScrape(port));
  const long idleRss = RssKiB(server);
  const long idleAnon = StatusKiB(server, "RssAnon");

  std::atomic<bool> stop{false};
  std::atomic<long> reconnects{0};
  std::thread attacker(Attack, port, &stop, &reconnects);
  std::this_thread::sleep_for(std::chrono::seconds(2));  // every attacker connected and sending
  std::vector<double> attacked;
  long peakRss = 0, peakAnon = 0;
  const auto until = Clock::now() + kAttack;
  while (Clock::now() < until) {
    attacked.push_back(TimedScrape(port));
    peakRss = std::max(peakRss, RssKiB(server));
    peakAnon = std::max(peakAnon, StatusKiB(server, "RssAnon"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  stop.store(true);
  attacker.join();

  auto report = [](const char* what, std::vector<double> v) {
    const long failed = std::count(v.begin(), v.end(), -1.0);
    std::sort(v.begin(), v.end());
    std::printf("%s: %zu scrapes, %ld without an answer within 15 s, median %.3f s, slowest %.3f s\n", what,
                v.size(), failed, v[v.size() / 2], v.back());
  };
  report("idle", idle);
  report("under attack (64 slow-loris + 64 endless header lines)", attacked);
  std::printf("serve-metrics RSS: %ld KiB idle (target < 6144), peak %ld KiB under attack (target < 16384); "
              "of which its own (RssAnon): %ld KiB idle, peak %ld KiB; attackers reconnected %ld times\n",
              idleRss, peakRss, idleAnon, peakAnon, reconnects.load());
  serverProcess.Stop(std::chrono::seconds(5));
  return 0;
}
