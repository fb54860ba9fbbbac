// Sizes and codes of the simulated device. The control codes and command block sizes are the
// agent's (agent/platform/driver_channel.h, checked against these in codes_check.cpp); they are
// repeated here only because that header pulls in the port, which kernel mode cannot build.
// The log exchange record comes straight from agent/eventlog/log_read_record.h.
#pragma once

#include <cstdint>

namespace hwsim {

constexpr uint32_t kIoctlReadSmbiosTable = 0x80002004;
constexpr uint32_t kIoctlReadEventLog = 0x80002018;
constexpr uint32_t kIoctlDeviceCommand = 0x80002028;

constexpr uint32_t kSmbiosBufferSize = 8192;
constexpr uint32_t kSmbiosHeaderSize = 20;
constexpr uint32_t kSmbiosDataCapacity = kSmbiosBufferSize - kSmbiosHeaderSize;
// Header words of the table buffer.
constexpr uint32_t kHeaderLayoutKind = 0;
constexpr uint32_t kHeaderVersion = 4;
constexpr uint32_t kHeaderFirstStructure = 8;
constexpr uint32_t kHeaderSecondStringTable = 12;
constexpr uint32_t kHeaderTableLength = 16;

constexpr uint32_t kCommandBlockSize = 260;
constexpr uint32_t kCommandResponseOffset = 4;
constexpr uint16_t kCommandReadSensor = 0x51;
constexpr uint16_t kCommandLogAlert = 0x54;

// Where a sensor command answer carries the status byte and raw reading, counted from the
// start of the response area (which mirrors the structure's formatted area).
constexpr uint32_t kProbeStatusByte = 5;
constexpr uint32_t kProbeRawWord = 20;
constexpr uint32_t kCoolingStatusByte = 6;
constexpr uint32_t kCoolingRawWord = 12;

constexpr uint8_t kTypeSystemEventLog = 15;
constexpr uint8_t kTypeVoltageProbe = 26;
constexpr uint8_t kTypeCoolingDevice = 27;
constexpr uint8_t kTypeTemperatureProbe = 28;

constexpr uint32_t kMaxSensors = 128;
// Log positions are 16-bit on the wire.
constexpr uint32_t kMaxLogBytes = 0xFFFF;
constexpr uint32_t kMinRecordLength = 2;
constexpr uint32_t kMaxRecordLength = 127;

}  // namespace hwsim
