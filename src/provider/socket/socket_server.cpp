#include "provider/socket/socket_server.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hwgate {

namespace {

constexpr size_t kMaxConnections = 64;
// With every slot taken, new clients wait in the listen backlog (their connect succeeds)
// and are accepted as soon as a slot frees; this is how often the loop looks.
constexpr int kFullWaitMs = 100;

}  // namespace

SocketServer::SocketServer() = default;

SocketServer::~SocketServer() {
  for (const Listener& listener : listeners_) {
    close(listener.fd);
    unlink(listener.path.c_str());
  }
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

int SocketServer::Listen(const std::string& path, os::SocketAccess access, ConnectionHandler handler,
                         std::string* error) {
  int fd = ListenUnix(path, access, error);
  if (fd < 0) return -1;
  listeners_.push_back({fd, path, std::move(handler)});
  return 0;
}

void SocketServer::ReapFinished() {
  std::lock_guard<std::mutex> lock(connectionsLock_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->done) {
      it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

bool SocketServer::Full() {
  ReapFinished();
  std::lock_guard<std::mutex> lock(connectionsLock_);
  return connections_.size() >= kMaxConnections;
}

void SocketServer::Accept(const Listener& listener) {
  int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  std::lock_guard<std::mutex> lock(connectionsLock_);
  Connection& connection = connections_.emplace_back();
  connection.fd = fd;
  connection.thread = std::thread([this, &connection, handler = listener.handler] {
    handler(connection.fd);
    std::lock_guard<std::mutex> lock(connectionsLock_);
    close(connection.fd);
    connection.fd = -1;
    connection.done = true;
  });
}

void SocketServer::AcceptLoop() {
  std::vector<pollfd> fds;
  fds.push_back({wake_[0], POLLIN, 0});
  for (const Listener& listener : listeners_) fds.push_back({listener.fd, POLLIN, 0});
  while (true) {
    // A client accepted only to be closed at once would see a broken exchange; one left in
    // the backlog while every slot is taken is served a little later instead.
    const bool full = Full();
    if (poll(fds.data(), full ? 1 : fds.size(), full ? kFullWaitMs : -1) < 0) continue;
    if (fds[0].revents != 0) return;
    if (full) continue;
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents & POLLIN) Accept(listeners_[i - 1]);
    }
  }
}

int SocketServer::Run(const std::function<void()>& onReady) {
  // Signals are taken by sigwait on this thread alone; a vanished peer is a failed write.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  if (listeners_.empty() || pipe2(wake_, O_CLOEXEC) != 0) return -1;

  std::thread acceptor([this] { AcceptLoop(); });
  if (onReady) onReady();
  int signo = 0;
  sigwait(&stopSignals, &signo);

  // Stop taking connections, then wake every connection thread and wait for it.
  for (const Listener& listener : listeners_) unlink(listener.path.c_str());
  (void)!write(wake_[1], "x", 1);
  acceptor.join();
  for (const Listener& listener : listeners_) close(listener.fd);
  listeners_.clear();
  {
    std::lock_guard<std::mutex> lock(connectionsLock_);
    for (Connection& connection : connections_) {
      if (connection.fd >= 0) shutdown(connection.fd, SHUT_RDWR);
    }
  }
  for (Connection& connection : connections_) connection.thread.join();
  connections_.clear();
  return signo;
}

}  // namespace hwgate
