#include "metrics_server.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace vigilctl {
namespace {

// Limits that keep one slow or hostile client from stalling the others or growing memory: a
// read or write that makes no progress for this long ends its connection, a request carries no
// body worth keeping, and an idle kept-alive connection is closed.
constexpr time_t kIoTimeoutSeconds = 5;
constexpr time_t kKeepAliveSeconds = 5;
constexpr std::size_t kKeepAliveRequests = 20;
constexpr std::size_t kMaxPayloadBytes = 4096;
// Accepted connections waiting for a worker; when they are this many the accept loop waits
// too, and further clients queue in the kernel's listen backlog instead of in our memory.
constexpr std::size_t kMaxWaitingConnections = 16;

constexpr const char* kContentType = "text/plain; version=0.0.4";

// A fixed set of workers over a bounded queue (httplib's own pool queues without limit).
class BoundedPool final : public httplib::TaskQueue {
 public:
  explicit BoundedPool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }

  void enqueue(std::function<void()> fn) override {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return jobs_.size() < kMaxWaitingConnections || shutdown_; });
    jobs_.push_back(std::move(fn));
    ready_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      shutdown_ = true;
    }
    ready_.notify_all();
    room_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return !jobs_.empty() || shutdown_; });
        // Queued connections are still served at shutdown: each job closes its socket.
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      room_.notify_one();
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
  std::deque<std::function<void()>> jobs_;
  bool shutdown_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

struct MetricsServer::Impl {
  explicit Impl(const MetricsServerOptions& o) : options(o), scraper(true, o.refreshTimeoutMs) {}

  MetricsServerOptions options;
  httplib::Server server;
  std::mutex scrapeMutex;  // one refresh at a time: they share the agent's reply event
  MetricsScraper scraper;
  int boundPort = -1;
};

MetricsServer::MetricsServer(const MetricsServerOptions& options) : impl_(std::make_unique<Impl>(options)) {
  httplib::Server& s = impl_->server;
  const unsigned threads = options.threads;
  s.new_task_queue = [threads] { return new BoundedPool(threads); };
  s.set_read_timeout(kIoTimeoutSeconds, 0);
  s.set_write_timeout(kIoTimeoutSeconds, 0);
  s.set_keep_alive_timeout(kKeepAliveSeconds);
  s.set_keep_alive_max_count(kKeepAliveRequests);
  s.set_payload_max_length(kMaxPayloadBytes);
  // Headers and body go out in separate writes: without this, Nagle's algorithm holds the body
  // for the client's delayed acknowledgement (40 ms a scrape).
  s.set_tcp_nodelay(true);
  Impl* impl = impl_.get();
  s.Get("/metrics", [impl](const httplib::Request&, httplib::Response& response) {
    std::string text;
    {
      std::lock_guard<std::mutex> lock(impl->scrapeMutex);
      int rc = 0;
      // The agent not answering is in the exposition (vigil_scrape_refresh_success 0); the
      // scrape itself succeeds with the last values.
      text = impl->scraper.Scrape(&rc);
    }
    response.set_content(std::move(text), kContentType);
  });
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::Bind() {
  Impl& i = *impl_;
  if (i.options.port == 0) {
    i.boundPort = i.server.bind_to_any_port(i.options.host);
  } else if (i.server.bind_to_port(i.options.host, i.options.port)) {
    i.boundPort = i.options.port;
  }
  return i.boundPort > 0;
}

std::string MetricsServer::Address() const {
  const std::string& host = impl_->options.host;
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->boundPort);
}

bool MetricsServer::Serve() { return impl_->server.listen_after_bind(); }

void MetricsServer::Stop() { impl_->server.stop(); }

}  // namespace vigilctl
