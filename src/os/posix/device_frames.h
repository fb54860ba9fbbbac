// Encoding of the device channel frames (device_protocol.h), little-endian on every host.
#pragma once

#include <cstdint>
#include <vector>

#include "os/device_protocol.h"

namespace os::posix {

// The request header followed by the input bytes.
std::vector<std::uint8_t> EncodeRequest(std::uint32_t code, const void* in, std::uint32_t inLen,
                                        std::uint32_t outLen);
// Reads a 16-byte response header.
device::ResponseHeader DecodeResponseHeader(const std::uint8_t* bytes);
// Whether `header` answers a request whose output buffer holds `outLen` bytes: the right magic
// and, on success, no more bytes than the caller's buffer. Anything else breaks the stream.
bool ResponseFits(const device::ResponseHeader& header, std::uint32_t outLen);

}  // namespace os::posix
