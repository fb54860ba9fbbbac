// The HTTP side of serve-metrics on Windows: the system's own HTTP server (http.sys, HTTP
// Server API 1.0). The kernel parses requests, enforces their size limits and connection
// timeouts, and hands over only whole requests, so a slow or hostile client never holds one of
// our workers; the workers only scrape and answer.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <http.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <mutex>
#include <thread>
#include <vector>

#include "metrics_server.h"

namespace vigilctl {
namespace {

// Room for a request's headers; http.sys refuses larger ones itself (MaxRequestBytes, 16 KiB).
constexpr ULONG kRequestBufferSize = 16 * 1024;
constexpr const char* kContentType = "text/plain; version=0.0.4";

}  // namespace

struct MetricsServer::Impl {
  explicit Impl(const MetricsServerOptions& o) : options(o), scraper(true, o.refreshTimeoutMs) {}

  void Answer(HTTP_REQUEST_ID id, USHORT status, const char* reason, const std::string& body) {
    HTTP_RESPONSE response{};
    response.StatusCode = status;
    response.pReason = reason;
    response.ReasonLength = USHORT(std::strlen(reason));
    HTTP_KNOWN_HEADER& type = response.Headers.KnownHeaders[HttpHeaderContentType];
    type.pRawValue = kContentType;
    type.RawValueLength = USHORT(std::strlen(kContentType));
    HTTP_DATA_CHUNK chunk{};
    chunk.DataChunkType = HttpDataChunkFromMemory;
    chunk.FromMemory.pBuffer = const_cast<char*>(body.data());
    chunk.FromMemory.BufferLength = ULONG(body.size());
    response.EntityChunkCount = 1;
    response.pEntityChunks = &chunk;
    ULONG sent = 0;
    // A client gone meanwhile is its own loss: nothing to retry.
    HttpSendHttpResponse(queue, id, 0, &response, nullptr, &sent, nullptr, 0, nullptr, nullptr);
  }

  void Work() {
    std::vector<ULONGLONG> storage(kRequestBufferSize / sizeof(ULONGLONG));  // aligned for HTTP_REQUEST
    auto* request = reinterpret_cast<HTTP_REQUEST*>(storage.data());
    while (!stopping.load()) {
      std::memset(storage.data(), 0, kRequestBufferSize);
      ULONG received = 0;
      const ULONG rc = HttpReceiveHttpRequest(queue, HTTP_NULL_ID, 0, request, kRequestBufferSize, &received, nullptr);
      if (rc == ERROR_MORE_DATA) {
        Answer(request->RequestId, 431, "Request Header Fields Too Large", "");
        continue;
      }
      if (rc != NO_ERROR) return;  // the queue was shut down
      const wchar_t* path = request->CookedUrl.pAbsPath;
      const USHORT pathBytes = request->CookedUrl.AbsPathLength;
      const bool metrics = path != nullptr && pathBytes == 8 * sizeof(wchar_t) && std::wcsncmp(path, L"/metrics", 8) == 0;
      if (!metrics) {
        Answer(request->RequestId, 404, "Not Found", "not found\n");
      } else if (request->Verb != HttpVerbGET && request->Verb != HttpVerbHEAD) {
        Answer(request->RequestId, 405, "Method Not Allowed", "GET only\n");
      } else {
        std::string text;
        {
          std::lock_guard<std::mutex> lock(scrapeMutex);
          int rcScrape = 0;
          text = scraper.Scrape(&rcScrape);
        }
        Answer(request->RequestId, 200, "OK", text);
      }
    }
  }

  MetricsServerOptions options;
  HANDLE queue = nullptr;
  std::wstring url;
  bool initialized = false;
  bool urlAdded = false;
  std::atomic<bool> stopping{false};
  std::mutex scrapeMutex;  // one refresh at a time: they share the agent's reply event
  MetricsScraper scraper;
};

MetricsServer::MetricsServer(const MetricsServerOptions& options) : impl_(std::make_unique<Impl>(options)) {}

MetricsServer::~MetricsServer() {
  Stop();
  if (impl_->urlAdded) HttpRemoveUrl(impl_->queue, impl_->url.c_str());
  if (impl_->queue != nullptr) CloseHandle(impl_->queue);
  if (impl_->initialized) HttpTerminate(HTTP_INITIALIZE_SERVER, nullptr);
}

bool MetricsServer::Bind() {
  Impl& i = *impl_;
  if (i.options.port == 0) {
    std::fprintf(stderr, "vigilctl: the Windows HTTP server needs a port number, not 0\n");
    return false;
  }
  const HTTPAPI_VERSION version = HTTPAPI_VERSION_1;
  ULONG rc = HttpInitialize(version, HTTP_INITIALIZE_SERVER, nullptr);
  i.initialized = rc == NO_ERROR;
  if (i.initialized) rc = HttpCreateHttpHandle(&i.queue, 0);
  if (rc != NO_ERROR) {
    std::fprintf(stderr, "vigilctl: the system's HTTP server (http.sys) is not available (error %lu)\n", rc);
    return false;
  }
  const bool v6 = i.options.host.find(':') != std::string::npos;
  const std::string prefix = "http://" + (v6 ? "[" + i.options.host + "]" : i.options.host) + ":" +
                             std::to_string(i.options.port) + "/";
  i.url.assign(prefix.begin(), prefix.end());
  rc = HttpAddUrl(i.queue, i.url.c_str(), nullptr);
  if (rc == ERROR_ACCESS_DENIED) {
    std::fprintf(stderr, "vigilctl: %s is not reserved for this account (run as an administrator or a service, "
                         "or `netsh http add urlacl url=%s user=...`)\n", prefix.c_str(), prefix.c_str());
  } else if (rc != NO_ERROR) {
    std::fprintf(stderr, "vigilctl: http.sys refuses %s (error %lu)\n", prefix.c_str(), rc);
  }
  i.urlAdded = rc == NO_ERROR;
  return i.urlAdded;
}

std::string MetricsServer::Address() const {
  const std::string& host = impl_->options.host;
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->options.port);
}

bool MetricsServer::Serve() {
  Impl& i = *impl_;
  if (!i.urlAdded) return false;
  std::vector<std::thread> workers;
  for (unsigned n = 1; n < i.options.threads; ++n) workers.emplace_back([&i] { i.Work(); });
  i.Work();
  for (std::thread& t : workers) t.join();
  return true;
}

void MetricsServer::Stop() {
  Impl& i = *impl_;
  if (i.stopping.exchange(true)) return;
  // Ends every HttpReceiveHttpRequest waiting on the queue.
  if (i.queue != nullptr) HttpShutdownRequestQueue(i.queue);
}

}  // namespace vigilctl
