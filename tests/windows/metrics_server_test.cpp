// serve-metrics' Windows HTTP server (http.sys) with no agent running: it answers GET /metrics
// with the agent-down exposition, 404 elsewhere, and stops when told.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <http.h>

#include <string>
#include <thread>

#include "metrics_server.h"

namespace {

// One HTTP/1.0 exchange over a plain socket; "" when the server cannot be reached.
std::string Exchange(int port, const std::string& request) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(u_short(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    send(s, request.data(), int(request.size()), 0);
    char buffer[4096];
    for (int n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, std::size_t(n));
  }
  closesocket(s);
  return reply;
}

// Whether the system's HTTP server can be reached at all: Wine's http.sys service does not start
// in every prefix (sc start http fails), and then there is nothing to test against.
bool HttpServerAvailable() {
  if (HttpInitialize(HTTPAPI_VERSION_1, HTTP_INITIALIZE_SERVER, nullptr) != NO_ERROR) return false;
  HANDLE queue = nullptr;
  const bool ok = HttpCreateHttpHandle(&queue, 0) == NO_ERROR;
  if (ok) CloseHandle(queue);
  HttpTerminate(HTTP_INITIALIZE_SERVER, nullptr);
  return ok;
}

TEST(MetricsServerWin32Test, ServesMetricsAndStops) {
  if (!HttpServerAvailable()) GTEST_SKIP() << "http.sys is not available on this system";
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  vigilctl::MetricsServerOptions options;
  options.port = 19764 + int(GetCurrentProcessId() % 500);
  options.threads = 2;
  options.refreshTimeoutMs = 100;
  vigilctl::MetricsServer server(options);
  ASSERT_TRUE(server.Bind());
  std::thread serving([&] { EXPECT_TRUE(server.Serve()); });

  const std::string metrics = Exchange(options.port, "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(metrics.rfind("HTTP/1.", 0), 0u) << metrics;
  EXPECT_NE(metrics.find(" 200 "), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("Content-Type: text/plain; version=0.0.4"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("\nvigil_agent_up 0\n"), std::string::npos) << metrics;
  const std::string other = Exchange(options.port, "GET /other HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_NE(other.find(" 404 "), std::string::npos) << other;

  server.Stop();
  serving.join();
  WSACleanup();
}

}  // namespace
