// ipmi-raw: sends one raw request to the BMC through /dev/ipmi0 and prints the answer. Test
// only: the QEMU guest run uses it to set sensor readings, add SEL entries and clear the SEL.
//
//   ipmi-raw [--dev-root DIR] NETFN CMD [DATA...]     (hex bytes; DIR/ipmi0, default /dev)
//
// Prints the answer's data bytes in hex on one line. Exit 0 on completion code 00h, 1 on
// another completion code (named on stderr), 2 when nothing came back, 64 on bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ipmi/bmc_exchange.h"
#include "ipmi/dev_ipmi_transport.h"

namespace {

bool ParseByte(const char* text, uint8_t* out) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 16);
  if (end == text || *end != '\0' || value > 0xFF) return false;
  *out = uint8_t(value);
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: ipmi-raw [--dev-root DIR] NETFN CMD [DATA...]  (hex bytes)\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::string devRoot = "/dev";
  int at = 1;
  if (at + 1 < argc && std::strcmp(argv[at], "--dev-root") == 0) {
    devRoot = argv[at + 1];
    at += 2;
  }
  if (argc - at < 2) return Usage();
  std::vector<uint8_t> bytes;
  for (; at < argc; ++at) {
    uint8_t b = 0;
    if (!ParseByte(argv[at], &b)) return Usage();
    bytes.push_back(b);
  }
  hwlinux::ipmi::DevIpmiTransport transport;
  std::string diagnosis;
  if (transport.Open(devRoot + "/ipmi0", &diagnosis) != 0) {
    std::fprintf(stderr, "ipmi-raw: %s\n", diagnosis.c_str());
    return 2;
  }
  hwlinux::ipmi::BmcRequest request;
  request.netFn = bytes[0];
  request.cmd = bytes[1];
  request.data = bytes.data() + 2;
  request.length = bytes.size() - 2;
  hwlinux::ipmi::BmcResponse response;
  if (transport.Exchange(request, &response) != 0) {
    std::fprintf(stderr, "ipmi-raw: no answer\n");
    return 2;
  }
  for (std::size_t i = 0; i < response.length; ++i) {
    std::printf(i ? " %02x" : "%02x", response.data[i]);
  }
  std::printf("\n");
  if (response.completionCode != 0) {
    std::fprintf(stderr, "ipmi-raw: completion code %02Xh (%s)\n", response.completionCode,
                 hwlinux::ipmi::DescribeCompletionCode(response.completionCode));
    return 1;
  }
  return 0;
}
