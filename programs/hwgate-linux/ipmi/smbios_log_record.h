// The SMBIOS event log records the BMC's SEL is translated into: their types (shared with the
// agent's decoder), the variable data each carries, and the BCD time header.
#pragma once

#include <cstdint>

#include "contract/smbios_types.h"

namespace hwlinux::ipmi {

namespace logtype = vigil::smbios::logtype;

// Header: type, length (low 7 bits), BCD year, month, day, hour, minute, second.
constexpr uint32_t kLogHeaderSize = vigil::smbios::kLogRecordDataField;
constexpr uint32_t kLogTimeAt = vigil::smbios::kLogRecordTimeField;
constexpr uint32_t kLogTimeSize = vigil::smbios::kLogRecordTimeSize;
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
