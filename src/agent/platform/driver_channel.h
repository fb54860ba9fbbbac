// The driver channel: the one handle on \\.\HwGate and its three control codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "contract/driver_protocol.h"
#include "os/os.h"
#include "agent/state/agent_state.h"

namespace vigil {

constexpr int kDriverOpenAttempts = 10;

// Up to ten attempts, each failed one followed by the retry delay. 0 success, -1 failure.
// Service thread, start-up only.
int OpenDriverChannel();
// IOCTL_READ_SMBIOS_TABLE into the kSmbiosTableSize-byte buffer. 0 success, -1 failure.
int ReadSmbiosTable(uint8_t* buffer);
// IOCTL_READ_EVENT_LOG in place (8 in, 76 out). 0 success, -1 failure. Service thread.
int ExchangeLogRecords(LogReadRecord* record);
// IOCTL_DEVICE_COMMAND in place on a kCommandBlockSize-byte block. 0 success, -1 failure. Any thread.
int DeviceCommand(uint8_t* commandBlock);
// Teardown: closes the handle (null afterwards).
void CloseDriverChannel();

}  // namespace vigil
