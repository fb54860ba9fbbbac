// SMBIOS structure types, the System Event Log's fields and its record types, as the agent, the
// simulated platform and the Linux provider look at them (DMTF SMBIOS reference).
// Plain constants with no port dependency, shared with the simulator's kernel-mode build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil::smbios {

// Every structure begins with its type, the length of its formatted area and its handle.
constexpr std::size_t kStructureHeaderLength = 4;

constexpr uint8_t kTypeSystemInformation = 1;
constexpr uint8_t kTypeMemoryController = 5;
constexpr uint8_t kTypeSystemEventLog = 15;
constexpr uint8_t kTypeMemoryDevice = 17;
constexpr uint8_t kTypeVoltageProbe = 26;
constexpr uint8_t kTypeCoolingDevice = 27;
constexpr uint8_t kTypeTemperatureProbe = 28;
constexpr uint8_t kTypeEndOfTable = 127;
constexpr uint8_t kTypeLast = 255;

// Types whose structures have no strings of their own in the 2.3 layouts the agent reads. A
// cooling device may carry a Description string since SMBIOS 2.7.
constexpr bool IsStringlessType(uint8_t type) {
  return type == kTypeMemoryController || type == kTypeSystemEventLog || type == kTypeCoolingDevice;
}

// Voltage (26) and temperature (28) probes: offsets into the structure, through the Nominal
// Value of the 2.3 layout.
constexpr std::size_t kProbeDescriptionField = 0x04;     // string number
constexpr std::size_t kProbeLocationStatusField = 0x05;  // location bits 4-0, status bits 7-5
constexpr std::size_t kProbeNominalValueField = 0x14;    // WORD
constexpr std::size_t kProbeLength = 0x16;
// Cooling devices (27): through the Description of SMBIOS 2.7.
constexpr std::size_t kCoolingTypeStatusField = 0x06;  // device type bits 4-0, status bits 7-5
constexpr std::size_t kCoolingOemField = 0x08;         // DWORD, OEM-defined
constexpr std::size_t kCoolingNominalSpeedField = 0x0C;  // WORD
constexpr std::size_t kCoolingDescriptionField = 0x0E;   // string number, SMBIOS 2.7 and later
constexpr std::size_t kCoolingLength = 0x0F;
// The status bits of the probes' and cooling devices' status byte.
constexpr uint8_t kStatusMask = 0xE0;

// System information (type 1): string numbers of the manufacturer and the product name; the
// UUID (2.1 and later).
constexpr std::size_t kSystemManufacturerField = 0x04;
constexpr std::size_t kSystemProductNameField = 0x05;
constexpr std::size_t kSystemUuidField = 0x08;
constexpr std::size_t kSystemUuidLength = 16;

// System Event Log (type 15): where the log lies and how it is reached. Offsets into the
// formatted area; the 2.0 layout ends after the access method address.
constexpr std::size_t kEventLogAreaLengthField = 0x04;   // WORD
constexpr std::size_t kEventLogHeaderStartField = 0x06;  // WORD
constexpr std::size_t kEventLogDataStartField = 0x08;    // WORD
constexpr std::size_t kEventLogAccessMethodField = 0x0A;
constexpr std::size_t kEventLogStatusField = 0x0B;
constexpr std::size_t kEventLogAccessAddressField = 0x10;  // DWORD
constexpr std::size_t kEventLogMinLength = 0x14;
// Access methods.
constexpr uint8_t kEventLogAccessMemoryMapped32 = 3;
constexpr uint8_t kEventLogAccessGeneralPurpose = 4;  // general-purpose non-volatile data functions

// A System Event Log record: its type, its length (byte 1, see LogRecordLength), the BCD time
// (year, month, day, hour, minute, second) and the variable data the type calls for.
constexpr std::size_t kLogRecordTimeField = 2;
constexpr std::size_t kLogRecordTimeSize = 6;
constexpr std::size_t kLogRecordDataField = 8;

// Types of the records in the System Event Log (the log type descriptors of type 15).
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

}  // namespace vigil::smbios
