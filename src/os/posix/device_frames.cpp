#include "os/posix/device_frames.h"

#include <cstring>

#include "contract/le_bytes.h"

namespace os::posix {

std::vector<std::uint8_t> EncodeRequest(std::uint32_t code, const void* in, std::uint32_t inLen,
                                        std::uint32_t outLen) {
  std::vector<std::uint8_t> frame(sizeof(device::RequestHeader) + inLen);
  vigil::le::Store32(&frame[0], device::kRequestMagic);
  vigil::le::Store32(&frame[4], code);
  vigil::le::Store32(&frame[8], inLen);
  vigil::le::Store32(&frame[12], outLen);
  if (inLen != 0) std::memcpy(&frame[sizeof(device::RequestHeader)], in, inLen);
  return frame;
}

device::ResponseHeader DecodeResponseHeader(const std::uint8_t* bytes) {
  using vigil::le::Load32;
  return {Load32(bytes), Load32(bytes + 4), Load32(bytes + 8), Load32(bytes + 12)};
}

bool ResponseFits(const device::ResponseHeader& header, std::uint32_t outLen) {
  if (header.magic != device::kResponseMagic) return false;
  return header.success == 0 || header.returned <= outLen;
}

}  // namespace os::posix
