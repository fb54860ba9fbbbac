#include "agent/platform/driver_channel.h"

#include "contract/driver_protocol.h"

namespace vigil {

int OpenDriverChannel() {
  for (int attempt = 0; attempt < kDriverOpenAttempts; ++attempt) {
    gDriverHandle = os::OpenDevice(kDriverPath);
    if (gDriverHandle != nullptr) return 0;
    // The driver may still be starting with the machine: give it a moment, the last
    // attempt included, so a missing driver always costs the same time.
    os::SleepMs(gDriverRetryDelayMs);
  }
  return -1;
}

int ReadSmbiosTable(uint8_t* buffer) {
  uint32_t returned = 0;
  return os::DeviceIoControl(gDriverHandle, kIoctlReadSmbiosTable, nullptr, 0, buffer,
                             kSmbiosTableSize, &returned)
             ? 0
             : -1;
}

int ExchangeLogRecords(LogReadRecord* record) {
  uint32_t returned = 0;
  return os::DeviceIoControl(gDriverHandle, kIoctlReadEventLog, record, kLogReadRequestSize,
                             record, kLogReadRecordSize, &returned)
             ? 0
             : -1;
}

int DeviceCommand(uint8_t* commandBlock) {
  uint32_t returned = 0;
  return os::DeviceIoControl(gDriverHandle, kIoctlDeviceCommand, commandBlock, kCommandBlockSize,
                             commandBlock, kCommandBlockSize, &returned)
             ? 0
             : -1;
}

void CloseDriverChannel() {
  os::CloseHandle(gDriverHandle);
  gDriverHandle = nullptr;
}

}  // namespace vigil
