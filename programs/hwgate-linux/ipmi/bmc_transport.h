// The one path from the provider to the BMC: a request (network function, command, data) goes
// out, an answer (completion code, data) comes back within a bounded time. The Linux device
// implements it over /dev/ipmi0; tests and benchmarks answer from a scripted BMC.
//
// Threads: a transport serves one exchange at a time and is used by one thread (the
// provider's serving thread); it keeps no state that outlives an exchange besides its device.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hwlinux::ipmi {

// Whom a request is for. The default is the BMC itself through the system interface;
// a sensor owned by another controller is reached over IPMB (the kernel bridges it).
struct BmcTarget {
  bool ipmb = false;
  uint8_t channel = 0;     // IPMB channel (owner LUN byte, bits 7-4)
  uint8_t slaveAddress = 0;  // 8-bit IPMB address of the controller (IPMB only)
  uint8_t lun = 0;         // LUN of the command on that controller
};

struct BmcRequest {
  uint8_t netFn = 0;
  uint8_t cmd = 0;
  const uint8_t* data = nullptr;
  std::size_t length = 0;
  BmcTarget target;
};

// An answer with its completion code split off. Answers longer than kMaxData are cut.
struct BmcResponse {
  static constexpr std::size_t kMaxData = 272;
  uint8_t completionCode = 0;
  std::size_t length = 0;  // bytes of data after the completion code
  uint8_t data[kMaxData] = {};
};

class BmcTransport {
 public:
  virtual ~BmcTransport() = default;
  // Sends `request` and waits for its answer. Returns 0 with *response filled when an answer
  // came (whatever its completion code; the kernel answers a timed-out request with C3h), -1
  // when the request could not be sent or no answer came within the transport's time limit
  // (*response then holds nothing usable). Never blocks longer than that limit.
  virtual int Exchange(const BmcRequest& request, BmcResponse* response) = 0;
  // Waits before a request is sent again to a BMC that said it is busy. The scripted BMC
  // only counts the wait.
  virtual void Pause(int milliseconds);
};

}  // namespace hwlinux::ipmi
