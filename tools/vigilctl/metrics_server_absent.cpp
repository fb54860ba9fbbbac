// serve-metrics in a build without an HTTP library (the Windows build when no header-only
// cpp-httplib was given): the command says so and fails; `metrics --textfile` still works.
#include <cstdio>

#include "metrics_server.h"

namespace vigilctl {

struct MetricsServer::Impl {};

MetricsServer::MetricsServer(const MetricsServerOptions&) : impl_(std::make_unique<Impl>()) {}
MetricsServer::~MetricsServer() = default;

bool MetricsServer::Bind() {
  std::fprintf(stderr,
               "vigilctl: this vigilctl was built without its HTTP server (configure with "
               "VIGIL_HTTPLIB_HEADER=<header-only httplib.h>); use `vigilctl metrics --textfile DIR` "
               "with windows_exporter's textfile collector instead\n");
  return false;
}

std::string MetricsServer::Address() const { return ""; }
bool MetricsServer::Serve() { return false; }
void MetricsServer::Stop() {}

}  // namespace vigilctl
