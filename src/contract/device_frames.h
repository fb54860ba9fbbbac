// Wire format between the POSIX device channel (src/os/posix) and a platform provider process
// listening on the device's UNIX stream socket (src/provider/socket): the simulated server or
// the Linux provider.
//
// One exchange = one request frame, one response frame, on a connection that may carry many
// exchanges in turn. All integers little-endian, whatever the host: both ends encode and decode
// the headers with the functions below. Lengths are bounded on both sides: a peer that
// announces more than kMaxPayload, or closes mid-frame, has broken the connection and the call
// fails. Dependency-free.
#pragma once

#include <cstdint>

#include "contract/le_bytes.h"

namespace vigil::frames {

constexpr uint32_t kRequestMagic = 0x31514748;   // "HGQ1"
constexpr uint32_t kResponseMagic = 0x31534748;  // "HGS1"
constexpr uint32_t kMaxPayload = 64 * 1024;
constexpr uint32_t kHeaderSize = 16;  // four u32 words, in the order of the fields below

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

inline void EncodeRequest(const RequestHeader& header, uint8_t* bytes) {
  le::Store32(bytes, header.magic);
  le::Store32(bytes + 4, header.code);
  le::Store32(bytes + 8, header.inLength);
  le::Store32(bytes + 12, header.outLength);
}

inline RequestHeader DecodeRequest(const uint8_t* bytes) {
  return {le::Load32(bytes), le::Load32(bytes + 4), le::Load32(bytes + 8), le::Load32(bytes + 12)};
}

inline void EncodeResponse(const ResponseHeader& header, uint8_t* bytes) {
  le::Store32(bytes, header.magic);
  le::Store32(bytes + 4, header.success);
  le::Store32(bytes + 8, header.returned);
  le::Store32(bytes + 12, header.reserved);
}

inline ResponseHeader DecodeResponse(const uint8_t* bytes) {
  return {le::Load32(bytes), le::Load32(bytes + 4), le::Load32(bytes + 8), le::Load32(bytes + 12)};
}

// Whether a provider may serve `header`: the right magic and both lengths within kMaxPayload.
// Anything else breaks the stream.
inline bool RequestAcceptable(const RequestHeader& header) {
  return header.magic == kRequestMagic && header.inLength <= kMaxPayload && header.outLength <= kMaxPayload;
}

// Whether `header` answers a request whose output buffer holds `outLength` bytes: the right
// magic and, on success, no more bytes than that buffer. Anything else breaks the stream.
inline bool ResponseFits(const ResponseHeader& header, uint32_t outLength) {
  if (header.magic != kResponseMagic) return false;
  return header.success == 0 || header.returned <= outLength;
}

}  // namespace vigil::frames
