// Serving the device frames of os/device_protocol.h on one connection: read a request frame,
// let the provider answer it in place, write the response frame, until the peer goes.
#pragma once

#include <cstdint>
#include <functional>

namespace hwgate {

// Answers one device I/O control call the METHOD_BUFFERED way: `buffer` holds the input
// (zero-filled up to outLength, at least max(inLength, outLength) bytes) and receives the
// output in place. Returns success with *returned set. Called on the connection's thread; the
// provider serialises calls itself when it must.
using DeviceCall = std::function<bool(uint32_t code, uint8_t* buffer, uint32_t inLength,
                                      uint32_t outLength, uint32_t* returned)>;

// Serves exchanges on `fd` until the peer closes or breaks the frame format (an oversized
// length, a stall of more than a few seconds inside a frame). Does not close `fd`.
void ServeDeviceConnection(int fd, const DeviceCall& call);

}  // namespace hwgate
