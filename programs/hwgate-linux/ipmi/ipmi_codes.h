// Network functions, commands, completion codes and record sizes of the BMC requests the
// provider sends. One home for every number of the IPMI wire format it uses.
#pragma once

#include <cstdint>

namespace hwlinux::ipmi {

// Network functions (requests; the answer carries netFn + 1).
constexpr uint8_t kNetFnSensorEvent = 0x04;
constexpr uint8_t kNetFnApp = 0x06;
constexpr uint8_t kNetFnStorage = 0x0A;

// Sensor/event commands.
constexpr uint8_t kCmdGetSensorReading = 0x2D;
constexpr uint8_t kCmdSetSensorReading = 0x30;
// Storage commands: SDR repository and System Event Log.
constexpr uint8_t kCmdGetSdrRepositoryInfo = 0x20;
constexpr uint8_t kCmdReserveSdrRepository = 0x22;
constexpr uint8_t kCmdGetSdr = 0x23;
constexpr uint8_t kCmdGetSelInfo = 0x40;
constexpr uint8_t kCmdReserveSel = 0x42;
constexpr uint8_t kCmdGetSelEntry = 0x43;
constexpr uint8_t kCmdAddSelEntry = 0x44;
constexpr uint8_t kCmdClearSel = 0x47;

// Completion codes the provider acts on.
constexpr uint8_t kCcOk = 0x00;
constexpr uint8_t kCcNodeBusy = 0xC0;
constexpr uint8_t kCcTimeout = 0xC3;
constexpr uint8_t kCcReservationLost = 0xC5;
constexpr uint8_t kCcCannotReturnBytes = 0xCA;
constexpr uint8_t kCcNotPresent = 0xCB;
constexpr uint8_t kCcInitializing = 0xD2;

// The BMC's own address on IPMB: sensors it owns are read through the system interface.
constexpr uint8_t kBmcSlaveAddress = 0x20;

// Record ids: 0000h asks for the first record, FFFFh as a next id ends the walk.
constexpr uint16_t kFirstRecordId = 0x0000;
constexpr uint16_t kLastRecordId = 0xFFFF;
// Bytes-to-read value of a whole-record read; it needs no reservation.
constexpr uint8_t kReadWholeRecord = 0xFF;

// Get SEL Info and Get SDR Repository Info: version .. operation support.
constexpr uint32_t kRepositoryInfoSize = 14;

// System Event Log.
constexpr uint32_t kSelRecordSize = 16;
constexpr uint32_t kSelNextIdSize = 2;
constexpr uint8_t kSelRecordTypeSystem = 0x02;
// Record types C0h-DFh are OEM records with a time stamp; E0h-FFh carry OEM bytes where the
// time would be.
constexpr uint8_t kSelFirstOemTimestamped = 0xC0;
constexpr uint8_t kSelLastOemTimestamped = 0xDF;
// A time stamp of FFFFFFFFh is "unspecified".
constexpr uint32_t kSelUnspecifiedTime = 0xFFFFFFFF;
// Fields of a system event record.
constexpr uint32_t kSelRecordTypeAt = 2;
constexpr uint32_t kSelTimeAt = 3;
constexpr uint32_t kSelGeneratorAt = 7;  // owner byte, then channel/LUN byte
constexpr uint32_t kSelSensorTypeAt = 10;
constexpr uint32_t kSelSensorNumberAt = 11;
constexpr uint32_t kSelEventTypeAt = 12;  // bit 7: deassertion
constexpr uint32_t kSelEventData1At = 13;
constexpr uint32_t kSelEventData2At = 14;
constexpr uint32_t kSelEventData3At = 15;
// Time stamps at or below this count seconds since the BMC started, not calendar time.
constexpr uint32_t kSelPreInitTimeLimit = 0x20000000;

// SDR repository.
constexpr uint32_t kSdrHeaderSize = 5;
constexpr uint8_t kSdrTypeFull = 0x01;
constexpr uint8_t kSdrTypeCompact = 0x02;
// The largest SDR body a record length byte can announce.
constexpr uint32_t kSdrMaxRecordSize = kSdrHeaderSize + 255;

// Event/reading type code of threshold sensors.
constexpr uint8_t kEventReadingThreshold = 0x01;

// Sensor types (shared by SDRs and SEL events).
constexpr uint8_t kSensorTypeTemperature = 0x01;
constexpr uint8_t kSensorTypeVoltage = 0x02;
constexpr uint8_t kSensorTypeFan = 0x04;
constexpr uint8_t kSensorTypeProcessor = 0x07;
constexpr uint8_t kSensorTypeMemory = 0x0C;
constexpr uint8_t kSensorTypeFirmwareProgress = 0x0F;
constexpr uint8_t kSensorTypeEventLogging = 0x10;
constexpr uint8_t kSensorTypeSystemEvent = 0x12;
constexpr uint8_t kSensorTypeCriticalInterrupt = 0x13;
constexpr uint8_t kSensorTypeSystemBoot = 0x1D;
constexpr uint8_t kSensorTypeWatchdog2 = 0x23;

}  // namespace hwlinux::ipmi
