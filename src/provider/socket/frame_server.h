// Serving the device frames of contract/device_frames.h on one connection: read a request frame,
// let the provider answer it in place, write the response frame, until the peer goes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "contract/device_frames.h"

namespace hwgate {

// Answers one device I/O control call the METHOD_BUFFERED way: `buffer` holds the input
// (zero-filled up to outLength, at least max(inLength, outLength) bytes) and receives the
// output in place. Returns success with *returned set. Called on the connection's thread; the
// provider serialises calls itself when it must.
using DeviceCall = std::function<bool(uint32_t code, uint8_t* buffer, uint32_t inLength,
                                      uint32_t outLength, uint32_t* returned)>;

// A connection with no request for this long is closed, so idle clients cannot hold the
// provider's connection slots for good. The agent asks at least every poll (6 s) and
// connects again on its own when it finds its connection closed.
constexpr int kIdleConnectionMs = 60000;

// Answers one request whose header passed RequestAcceptable and whose `input` holds its
// inLength bytes: the response frame to send, header and payload (at most outLength bytes).
std::vector<uint8_t> AnswerRequest(const DeviceCall& call, const vigil::frames::RequestHeader& request,
                                   const uint8_t* input);

// Serves exchanges on `fd` until the peer closes or breaks the frame format (an oversized
// length, a stall of more than a few seconds inside a frame) or sends nothing for
// `idleMs`. Does not close `fd`.
void ServeDeviceConnection(int fd, const DeviceCall& call, int idleMs = kIdleConnectionMs);

}  // namespace hwgate
