// Wire format between the POSIX device channel (src/os/posix) and a platform provider process
// listening on the device's UNIX stream socket (the simulated server, or a future real one).
//
// One exchange = one request frame, one response frame, on a connection that may carry many
// exchanges in turn. All integers little-endian. Lengths are bounded on both sides: a peer
// that announces more than kMaxPayload, or closes mid-frame, has broken the connection and the
// call fails.
#pragma once

#include <cstdint>

namespace os::device {

constexpr uint32_t kRequestMagic = 0x31514748;   // "HGQ1"
constexpr uint32_t kResponseMagic = 0x31534748;  // "HGS1"
constexpr uint32_t kMaxPayload = 64 * 1024;

// Followed by inLength bytes of input.
struct RequestHeader {
  uint32_t magic;
  uint32_t code;        // the I/O control code
  uint32_t inLength;    // bytes of input that follow
  uint32_t outLength;   // size of the caller's output buffer
};

// Followed by exactly `outLength` bytes (the request's outLength) when success is non-zero:
// the whole output buffer as the device left it, so in-place exchanges keep unreturned bytes;
// by nothing when success is zero. `returned` is the byte count the device reports.
struct ResponseHeader {
  uint32_t magic;
  uint32_t success;
  uint32_t returned;
  uint32_t reserved;
};

static_assert(sizeof(RequestHeader) == 16 && sizeof(ResponseHeader) == 16, "frame headers");

}  // namespace os::device
