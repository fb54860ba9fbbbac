// SMBIOS structure parser and the inventory it keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "contract/driver_protocol.h"
#include "contract/smbios_types.h"
#include "agent/state/agent_state.h"

namespace vigil {

constexpr std::size_t kMaxProbes = 32;
constexpr std::size_t kMaxCoolingDevices = 32;
constexpr std::size_t kInventoryTextSize = 32;  // 31 characters + NUL

struct ProbeRecord {
  uint16_t handle;
  uint8_t locationAndStatus;
  char description[kInventoryTextSize];
};

struct CoolingDeviceRecord {
  uint16_t handle;
  uint32_t oemDefined;
  // The device's own Description (SMBIOS 2.7 and later, string at offset 0Eh); empty when the
  // structure is too short for it, names no string or names one the table does not hold.
  char description[kInventoryTextSize];
};

// Where a structure lies in the table buffer it was parsed from: the offset of its header and
// the bytes of its formatted area inside the buffer (never past the buffer end).
struct StructurePlace {
  uint16_t offset;
  uint16_t length;
};

// The walk meets at most one structure per header length of the data area, so a list this long
// holds every structure of one type that a table can carry.
constexpr std::size_t kMaxStructuresPerTable =
    (kSmbiosTableSize - kSmbiosDataArea) / smbios::kStructureHeaderLength;

struct Inventory {
  char productName[kInventoryTextSize];
  uint8_t systemUuid[smbios::kSystemUuidLength];
  ProbeRecord voltageProbes[kMaxProbes];
  uint32_t voltageProbeCount;
  ProbeRecord temperatureProbes[kMaxProbes];
  uint32_t temperatureProbeCount;
  CoolingDeviceRecord coolingDevices[kMaxCoolingDevices];
  uint32_t coolingDeviceCount;
  // Every System Event Log (type 15) structure, in table order; real tables carry one. The
  // parser only notes them: the start-up hands them to the event log reader.
  StructurePlace eventLogs[kMaxStructuresPerTable];
  uint32_t eventLogCount;
};

// Parses the table buffer (kSmbiosTableSize bytes) into gInventory / gMemoryDeviceMap. Returns
// true when the buffer held a table and the inventory was built afresh from it; false for a
// buffer of layout kind 0, which leaves the inventory as it was. Never reads outside the
// buffer, never loops on a bad length; no OS calls, any thread (one parse at a time).
bool ParseSmbiosTable(const uint8_t* buffer);

}  // namespace vigil
