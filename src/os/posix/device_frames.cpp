#include "os/posix/device_frames.h"

#include <cstring>

namespace os::posix {
namespace {

void PutLe32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

}  // namespace

std::vector<std::uint8_t> EncodeRequest(std::uint32_t code, const void* in, std::uint32_t inLen,
                                        std::uint32_t outLen) {
  std::vector<std::uint8_t> frame(sizeof(device::RequestHeader) + inLen);
  PutLe32(&frame[0], device::kRequestMagic);
  PutLe32(&frame[4], code);
  PutLe32(&frame[8], inLen);
  PutLe32(&frame[12], outLen);
  if (inLen != 0) std::memcpy(&frame[sizeof(device::RequestHeader)], in, inLen);
  return frame;
}

device::ResponseHeader DecodeResponseHeader(const std::uint8_t* bytes) {
  return {GetLe32(bytes), GetLe32(bytes + 4), GetLe32(bytes + 8), GetLe32(bytes + 12)};
}

bool ResponseFits(const device::ResponseHeader& header, std::uint32_t outLen) {
  if (header.magic != device::kResponseMagic) return false;
  return header.success == 0 || header.returned <= outLen;
}

}  // namespace os::posix
