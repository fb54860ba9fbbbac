#include "provider/socket/frame_server.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "provider/socket/unix_socket.h"

namespace hwgate {

namespace {

namespace frames = vigil::frames;

constexpr int kMidMessageTimeoutMs = 5000;  // a peer stalled this long inside a frame is gone

// One exchange. False ends the connection: the peer closed, or broke the frame format.
bool ServeFrame(int fd, const DeviceCall& call, int idleMs) {
  pollfd waiting = {fd, POLLIN, 0};
  int ready = 0;
  while ((ready = poll(&waiting, 1, idleMs)) < 0 && errno == EINTR) {
  }
  if (ready <= 0) return false;  // idle too long
  uint8_t headerBytes[frames::kHeaderSize];
  if (ReadFull(fd, headerBytes, sizeof headerBytes, true, kMidMessageTimeoutMs) != ReadResult::kOk) return false;
  const frames::RequestHeader request = frames::DecodeRequest(headerBytes);
  if (!frames::RequestAcceptable(request)) return false;
  std::vector<uint8_t> input(request.inLength);
  if (request.inLength != 0 &&
      ReadFull(fd, input.data(), request.inLength, false, kMidMessageTimeoutMs) != ReadResult::kOk) {
    return false;
  }
  const std::vector<uint8_t> response = AnswerRequest(call, request, input.data());
  return WriteAll(fd, response.data(), response.size()) == 0;
}

}  // namespace

std::vector<uint8_t> AnswerRequest(const DeviceCall& call, const frames::RequestHeader& request,
                                   const uint8_t* input) {
  std::vector<uint8_t> buffer(std::max(request.inLength, request.outLength), 0);
  if (request.inLength != 0) std::memcpy(buffer.data(), input, request.inLength);
  uint32_t returned = 0;
  const bool ok = call(request.code, buffer.data(), request.inLength, request.outLength, &returned);
  if (!ok || returned > request.outLength) returned = ok ? request.outLength : 0;
  std::vector<uint8_t> frame(frames::kHeaderSize + returned);
  frames::EncodeResponse({frames::kResponseMagic, ok ? 1u : 0u, returned, 0}, frame.data());
  if (returned != 0) std::memcpy(frame.data() + frames::kHeaderSize, buffer.data(), returned);
  return frame;
}

void ServeDeviceConnection(int fd, const DeviceCall& call, int idleMs) {
  while (ServeFrame(fd, call, idleMs)) {
  }
}

}  // namespace hwgate
