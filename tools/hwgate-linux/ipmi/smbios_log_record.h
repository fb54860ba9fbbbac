// The SMBIOS event log records the BMC's SEL is translated into: their types, the variable
// data each carries, and the BCD time header.
#pragma once

#include <cstdint>

namespace hwlinux::ipmi {

namespace logtype {
constexpr uint8_t kSingleBitEcc = 0x01;
constexpr uint8_t kMultiBitEcc = 0x02;
constexpr uint8_t kParityMemory = 0x03;
constexpr uint8_t kBusTimeout = 0x04;
constexpr uint8_t kIoChannelCheck = 0x05;
constexpr uint8_t kSoftwareNmi = 0x06;
constexpr uint8_t kPostMemoryResize = 0x07;
constexpr uint8_t kPostError = 0x08;
constexpr uint8_t kPciParity = 0x09;
constexpr uint8_t kPciSystem = 0x0A;
constexpr uint8_t kCpuFailure = 0x0B;
constexpr uint8_t kCorrectableMemoryLogDisabled = 0x0D;
constexpr uint8_t kLoggingDisabledForType = 0x0E;
constexpr uint8_t kSystemLimitExceeded = 0x10;
constexpr uint8_t kHardwareTimerReset = 0x11;
constexpr uint8_t kSystemReconfigured = 0x14;
constexpr uint8_t kUncorrectableCpuComplex = 0x15;
constexpr uint8_t kLogAreaCleared = 0x16;
constexpr uint8_t kSystemBoot = 0x17;
}  // namespace logtype

// Header: type, length (low 7 bits), BCD year, month, day, hour, minute, second.
constexpr uint32_t kLogHeaderSize = 8;
constexpr uint32_t kLogTimeAt = 2;
constexpr uint32_t kLogTimeSize = 6;
// Variable data sizes: a memory device handle (WORD); the PCI location bytes (present flag,
// device/function, bus); a system-management code (DWORD); the POST results bitmap (two
// DWORDs, bit 24 of the first saying the second is valid).
constexpr uint32_t kHandleDataSize = 2;
constexpr uint32_t kPciDataSize = 3;
constexpr uint32_t kSystemManagementDataSize = 4;
constexpr uint32_t kPostBitmapDataSize = 8;
// The largest record the translation writes.
constexpr uint32_t kMaxTranslatedRecord = kLogHeaderSize + kPostBitmapDataSize;

constexpr uint32_t kPostSecondWordValid = 0x01000000u;
// System-management code naming a probe or cooling device by its handle.
constexpr uint32_t kProbeOutOfRange = 0x00010000u;
// Handle of "no device known".
constexpr uint16_t kUnknownHandle = 0xFFFF;

}  // namespace hwlinux::ipmi
