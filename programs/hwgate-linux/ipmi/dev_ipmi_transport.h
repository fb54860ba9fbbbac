// The BMC through the kernel's IPMI device interface (/dev/ipmi0, module ipmi_devintf): each
// exchange sends one request with a fresh message id to the system interface (or an IPMB
// address the kernel bridges), then polls for the answer carrying that id. Answers to
// requests given up earlier are read and dropped.
#pragma once

#include <string>

#include "ipmi/bmc_transport.h"

namespace hwlinux::ipmi {

class DevIpmiTransport : public BmcTransport {
 public:
  // `timeoutMs` bounds each exchange from send to answer.
  explicit DevIpmiTransport(int timeoutMs = 5000) : timeoutMs_(timeoutMs) {}
  ~DevIpmiTransport() override;
  DevIpmiTransport(const DevIpmiTransport&) = delete;
  DevIpmiTransport& operator=(const DevIpmiTransport&) = delete;

  // Opens the device at `path` (/dev/ipmi0 on a real system). Returns 0, or -1 with
  // *diagnosis set to one line an administrator can act on.
  int Open(const std::string& path, std::string* diagnosis);
  // Same contract as BmcTransport; -1 as well when the device is not open.
  int Exchange(const BmcRequest& request, BmcResponse* response) override;

 private:
  int fd_ = -1;
  int timeoutMs_;
  long nextMsgId_ = 1;
};

}  // namespace hwlinux::ipmi
