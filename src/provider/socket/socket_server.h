// The accept loop of a platform provider: one or more listening UNIX sockets, a thread per
// connection (at most 64 at a time; more wait in the listen backlog until a slot frees), and
// an orderly stop on SIGTERM or SIGINT.
#pragma once

#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "provider/socket/unix_socket.h"

namespace hwgate {

// Serves one accepted connection on its own thread; must return once the peer is gone or the
// descriptor is shut down. The server closes the descriptor afterwards.
using ConnectionHandler = std::function<void(int fd)>;

class SocketServer {
 public:
  SocketServer();
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  // Listens on `path` (see ListenUnix). 0, or -1 with *error. Call before Run, from the thread
  // that will call Run.
  int Listen(const std::string& path, os::SocketAccess access, ConnectionHandler handler, std::string* error);

  // Blocks SIGTERM and SIGINT for the process's threads, accepts connections until one of them
  // arrives, then removes the socket files, shuts every connection down and waits for its
  // thread. `onReady` runs once everything listens. Returns the stop signal's number, or -1
  // when the server could not start (nothing listening, no wake pipe).
  int Run(const std::function<void()>& onReady);

 private:
  struct Listener {
    int fd;
    std::string path;
    ConnectionHandler handler;
  };
  struct Connection {
    int fd;
    bool done = false;
    std::thread thread;
  };

  void AcceptLoop();
  void Accept(const Listener& listener);
  void ReapFinished();
  bool Full();  // every connection slot taken (after reaping finished ones)

  std::vector<Listener> listeners_;
  int wake_[2] = {-1, -1};
  std::mutex connectionsLock_;
  std::list<Connection> connections_;
};

}  // namespace hwgate
