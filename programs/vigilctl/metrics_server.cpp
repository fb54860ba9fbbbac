#include "metrics_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <microhttpd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "os/posix/library_pages.h"
#include "os/posix/object_access.h"

namespace vigilctl {
namespace {

// libmicrohttpd parses requests in event loops (epoll): a slow or silent client costs a
// connection slot and its memory pool, never a thread. Each limit keeps hostile clients from
// stalling scrapes or growing memory:
// - a request whose header does not fit the connection's pool is answered 431 and closed, so
//   an endless header line costs at most this much;
constexpr std::size_t kConnectionMemoryBytes = 8192;
// - a connection idle for this long (no byte either way) is closed;
constexpr unsigned kIdleTimeoutSeconds = 10;
// - at most this many connections at once; beyond it new ones are closed at accept;
constexpr unsigned kMaxConnections = 512;
// - connections the kernel queues before we accept them.
constexpr int kListenBacklog = 128;

constexpr const char* kContentType = "text/plain; version=0.0.4";

MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body, const char* allow) {
  MHD_Response* response =
      MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, status == MHD_HTTP_OK ? kContentType : "text/plain");
  if (allow != nullptr) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

// The socket to listen on, bound: a TCP address (resolved, numeric port) or a Unix socket
// path; -1 when it cannot be made. Non-blocking: every event loop of the pool accepts on it,
// and one that finds the connection taken must not wait for the next.
int BindTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (a->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd;
}

int BindUnix(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  // A socket left by an earlier server is replaced; anything else at the path is not ours.
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode) || unlink(path.c_str()) != 0) return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  // Made with no access for others from the start; then owner and the access group.
  const mode_t saved = umask(0117);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  umask(saved);
  if (!bound || !os::posix::SetPathAccess(path, os::posix::kObjectMode)) {
    if (bound) unlink(path.c_str());
    close(fd);
    return -1;
  }
  return fd;
}

// libmicrohttpd links GnuTLS for HTTPS and initialises it (with p11-kit, Nettle, GMP, ...)
// when it loads; this server speaks plain HTTP and never calls them again. Their code and
// constant pages, about 2 MiB touched by that initialisation, go back to the page cache.
void DropTlsPages() {
  static const char* const kTlsLibraries[] = {"libgnutls.so", "libp11-kit.so", "libnettle.so", "libhogweed.so",
                                              "libgmp.so", "libtasn1.so", "libidn2.so", "libunistring.so",
                                              "libffi.so"};
  os::posix::DropPages(os::posix::ReadOnlyPages([](const char* path, std::uintptr_t) {
    const char* name = std::strrchr(path, '/');
    name = name != nullptr ? name + 1 : path;
    for (const char* library : kTlsLibraries) {
      if (std::strncmp(name, library, std::strlen(library)) == 0) return true;
    }
    return false;
  }));
}

}  // namespace

struct MetricsServer::Impl {
  explicit Impl(const MetricsServerOptions& o) : options(o), scraper(o.refreshTimeoutMs, o.refreshIntervalMs) {}
  ~Impl() {
    if (listenFd >= 0) close(listenFd);
    if (!options.unixPath.empty() && listenFd >= 0) unlink(options.unixPath.c_str());
  }

  static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url, const char* method,
                              const char*, const char*, size_t*, void** requestState) {
    auto* impl = static_cast<Impl*>(self);
    const bool fetch = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 || std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    // The first call comes with the header alone. A GET answered then would be taken for an
    // early answer to an unread body, and its connection closed: a pipelined request behind
    // it would go unanswered. It is answered on the next call, once the request is complete
    // (or at once, with its connection closed, when it carries a body after all).
    static int headerSeen;
    if (fetch && *requestState == nullptr) {
      *requestState = &headerSeen;
      return MHD_YES;
    }
    if (std::strcmp(url, "/metrics") != 0) return Answer(connection, MHD_HTTP_NOT_FOUND, "not found\n", nullptr);
    // HEAD is answered as GET without the body by the library.
    if (!fetch) return Answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "method not allowed\n", "GET, HEAD");
    // The agent not answering is in the exposition (vigil_agent_up 0); the scrape succeeds.
    return Answer(connection, MHD_HTTP_OK, impl->scraper.Scrape(), nullptr);
  }

  MetricsServerOptions options;
  SharedScraper scraper;
  int listenFd = -1;
  int boundPort = -1;
  std::mutex mutex;
  std::condition_variable stopped;
  bool stopRequested = false;
};

MetricsServer::MetricsServer(const MetricsServerOptions& options) : impl_(std::make_unique<Impl>(options)) {}

MetricsServer::~MetricsServer() = default;

int MetricsServer::Bind() {
  Impl& i = *impl_;
  i.listenFd = i.options.unixPath.empty() ? BindTcp(i.options.host, i.options.port) : BindUnix(i.options.unixPath);
  if (i.listenFd < 0) return -1;
  if (listen(i.listenFd, kListenBacklog) != 0) return -1;
  if (i.options.unixPath.empty()) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(i.listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    i.boundPort = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  }
  return 0;
}

std::string MetricsServer::Address() const {
  const Impl& i = *impl_;
  if (!i.options.unixPath.empty()) return kUnixListenPrefix + i.options.unixPath;
  const bool v6 = i.options.host.find(':') != std::string::npos;
  return (v6 ? "[" + i.options.host + "]" : i.options.host) + ":" + std::to_string(i.boundPort);
}

int MetricsServer::Serve() {
  Impl& i = *impl_;
  if (i.listenFd < 0) return -1;
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL;
  MHD_Daemon* daemon =
      MHD_start_daemon(flags, 0, nullptr, nullptr, &Impl::OnRequest, &i,
                       MHD_OPTION_LISTEN_SOCKET, i.listenFd,
                       MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned>(i.options.threads),
                       MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemoryBytes,
                       MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutSeconds,
                       MHD_OPTION_CONNECTION_LIMIT, kMaxConnections,
                       MHD_OPTION_END);
  if (daemon == nullptr) return -1;
  DropTlsPages();
  {
    std::unique_lock<std::mutex> lock(i.mutex);
    i.stopped.wait(lock, [&] { return i.stopRequested; });
  }
  // Closes every connection and the listening socket.
  MHD_stop_daemon(daemon);
  i.listenFd = -1;
  if (!i.options.unixPath.empty()) unlink(i.options.unixPath.c_str());
  return 0;
}

void MetricsServer::Stop() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->stopRequested = true;
  impl_->stopped.notify_all();
}

}  // namespace vigilctl
