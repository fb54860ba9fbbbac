// The driver channel: the one handle on \\.\HwGate and its three control codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/os.h"

namespace vigil {

constexpr const char* kDriverPath = "\\\\.\\HwGate";

// CTL_CODE(0x8000, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t CtlCode(uint32_t function) { return (0x8000u << 16) | (function << 2); }
constexpr uint32_t kIoctlReadSmbiosTable = CtlCode(0x801);
constexpr uint32_t kIoctlReadEventLog = CtlCode(0x806);
constexpr uint32_t kIoctlDeviceCommand = CtlCode(0x80A);
static_assert(kIoctlReadSmbiosTable == 0x80002004 && kIoctlReadEventLog == 0x80002018 &&
              kIoctlDeviceCommand == 0x80002028, "control codes");

constexpr uint32_t kSmbiosTableSize = 8192;
constexpr uint32_t kLogReadRequestSize = 8;
constexpr uint32_t kLogReadRecordSize = 76;

// Command block: u16 code, u16 argument, 256-byte response area; sent and answered in place.
constexpr uint32_t kCommandBlockSize = 260;
constexpr std::size_t kCommandCodeOffset = 0;
constexpr std::size_t kCommandArgumentOffset = 2;
constexpr std::size_t kCommandResponseOffset = 4;
constexpr uint16_t kCommandReadSensor = 0x51;
constexpr uint16_t kCommandLogAlert = 0x54;

constexpr int kDriverOpenAttempts = 10;

extern os::Handle gDriverHandle;
// Sleep after every failed open attempt; 1000 ms in the product, shortened by tests.
extern uint32_t gDriverRetryDelayMs;

struct LogReadRecord;

// Up to ten attempts, each failed one followed by the retry delay. 0 success, -1 failure.
// Service thread, start-up only.
int OpenDriverChannel();
// IOCTL_READ_SMBIOS_TABLE into the 8192-byte buffer. True on success.
bool ReadSmbiosTable(uint8_t* buffer);
// IOCTL_READ_EVENT_LOG in place (8 in, 76 out), or the test log while it is active.
// 0 success, -1 failure. Service thread.
int ExchangeLogRecords(LogReadRecord* record);
// IOCTL_DEVICE_COMMAND in place on a 260-byte block. 0 success, -1 failure. Any thread.
int DeviceCommand(uint8_t* commandBlock);
// Teardown: closes the handle (null afterwards).
void CloseDriverChannel();

}  // namespace vigil
