// Sending a request code to the agent through "NVX_CFG_EVENT" / "NVX_SENSOR_READY_EVENT".
#pragma once

#include <cstdint>

namespace vigilctl {

constexpr uint32_t kReplyTimeoutMs = 5000;

// Writes `code` into the block and sets the request event; with `waitReply`, resets the reply
// event first and waits up to `timeoutMs` for it, signalling again every 100 ms. Returns
// kExitOk, or prints the reason and returns kExitNoAnswer (events missing, no reply in time).
int SendRequest(uint8_t* block, int32_t code, bool waitReply, uint32_t timeoutMs = kReplyTimeoutMs);

}  // namespace vigilctl
