#include "device_frames.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "os/device_protocol.h"
#include "unix_socket.h"

namespace hwgate {

namespace {

namespace wire = os::device;

constexpr int kMidMessageTimeoutMs = 5000;  // a peer stalled this long inside a frame is gone

// One exchange. False ends the connection: the peer closed, or broke the frame format.
bool ServeFrame(int fd, const DeviceCall& call, int idleMs) {
  pollfd waiting = {fd, POLLIN, 0};
  int ready = 0;
  while ((ready = poll(&waiting, 1, idleMs)) < 0 && errno == EINTR) {
  }
  if (ready <= 0) return false;  // idle too long
  wire::RequestHeader request;
  if (ReadFull(fd, &request, sizeof(request), true, kMidMessageTimeoutMs) != ReadResult::kOk) return false;
  if (request.magic != wire::kRequestMagic || request.inLength > wire::kMaxPayload ||
      request.outLength > wire::kMaxPayload) {
    return false;
  }
  std::vector<uint8_t> buffer(std::max(request.inLength, request.outLength), 0);
  if (request.inLength != 0 &&
      ReadFull(fd, buffer.data(), request.inLength, false, kMidMessageTimeoutMs) != ReadResult::kOk) {
    return false;
  }
  uint32_t returned = 0;
  bool ok = call(request.code, buffer.data(), request.inLength, request.outLength, &returned);
  if (returned > request.outLength) returned = request.outLength;
  wire::ResponseHeader response = {wire::kResponseMagic, ok ? 1u : 0u, ok ? returned : 0u, 0};
  if (WriteAll(fd, &response, sizeof(response)) != 0) return false;
  return !ok || returned == 0 || WriteAll(fd, buffer.data(), returned) == 0;
}

}  // namespace

void ServeDeviceConnection(int fd, const DeviceCall& call, int idleMs) {
  while (ServeFrame(fd, call, idleMs)) {
  }
}

}  // namespace hwgate
