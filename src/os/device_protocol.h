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

// Followed by exactly `returned` bytes (at most the request's outLength) when success is
// non-zero, by nothing otherwise. As with METHOD_BUFFERED, only those bytes are copied into
// the caller's output buffer; the rest of it keeps what it held. A provider serves an exchange
// on a buffer that starts as a copy of the input (zero-filled up to outLength).
struct ResponseHeader {
  uint32_t magic;
  uint32_t success;
  uint32_t returned;
  uint32_t reserved;
};

static_assert(sizeof(RequestHeader) == 16 && sizeof(ResponseHeader) == 16, "frame headers");

}  // namespace os::device
