// The SMBIOS structures the provider writes itself: probes (types 26 and 28) and cooling
// devices (type 27) for live sensors the firmware does not describe, the System Event Log
// (type 15) that describes the log actually served, and End-of-Table. Also the status byte
// and raw reading of a command 0x51 answer for a live reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contract/driver_protocol.h"
#include "contract/smbios_types.h"
#include "live_sources.h"

namespace hwlinux {

// The SMBIOS structure type that carries a sensor of this kind.
uint8_t StructureTypeFor(SensorKind kind);

// A structure: formatted area followed by its string-set.
std::vector<uint8_t> MakeProbe(SensorKind kind, uint16_t handle, const std::string& name);
// A cooling device described by the live fan's own label. The OEM-defined value is what the
// agent chooses a known model's fan row by; a server it does not know names its fans by the
// description instead.
std::vector<uint8_t> MakeCoolingDevice(uint16_t handle, uint32_t oemValue, const std::string& name);
std::vector<uint8_t> MakeEventLog(uint16_t handle, uint32_t areaLength);
// Turns a firmware type-15 structure into one that describes the served log.
void DescribeServedLog(std::vector<uint8_t>* structure, uint32_t areaLength);
std::vector<uint8_t> MakeEndOfTable(uint16_t handle);

// OEM-defined value for the `ordinal`-th (from 1) synthesized fan of a known model: the fan
// number in the low byte, which the A14x and C850 models read; the B720 reads whole keys of
// of smbios/known_models.h (KelvoB720FanWord). Any other product gets 0: its fans are no
// Kelvo model's "CPU 1 Fan" or "System Fan 1", whatever their place.
uint32_t FanOemValue(const std::string& productName, uint32_t ordinal);

// Status byte bits 7-5 for a reading (unknown without one).
uint8_t StatusBits(const LiveReading& reading);
// The raw word of a 0x51 answer: tenths of a degree, mV (negative as 0xFFFF + mV) or RPM,
// kept clear of the no-reading value 0x8000.
uint16_t RawReading(SensorKind kind, const LiveReading& reading);

}  // namespace hwlinux
