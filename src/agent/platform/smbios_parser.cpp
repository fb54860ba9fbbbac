#include "agent/platform/smbios_parser.h"
#include "contract/smbios_types.h"

#include <cstring>

#include "smbios/smbios_strings.h"
#include "smbios/smbios_walk.h"

namespace vigil {

namespace {

using smbios::Structure;
using smbios::TableView;

using namespace smbios;  // structure types

constexpr std::size_t kDeviceLocatorField = 0x10;
// Locators pass through a 16-byte working buffer: 15 characters are kept, longer ones cut.
// Memory locators are short names ("DIMM_A1"), and the event texts they join have little room.
constexpr std::size_t kLocatorBufferSize = 16;

void ClearInventory() {
  std::memset(gInventory.productName, 0, sizeof gInventory.productName);
  std::memset(gInventory.systemUuid, 0, sizeof gInventory.systemUuid);
  gInventory.voltageProbeCount = 0;
  gInventory.temperatureProbeCount = 0;
  gInventory.coolingDeviceCount = 0;
  gInventory.eventLogCount = 0;
}

void TakeSystemInformation(const TableView& table, const Structure& s, const smbios::StringSet& set) {
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, kSystemProductNameField)),
                   gInventory.productName, sizeof gInventory.productName);
  // A version 2.0 structure (length 8) has no UUID. One that is longer but too short for the
  // whole field is malformed: what lies past its end is not a UUID, so none is taken either.
  if (s.length > kSystemUuidField && smbios::HasField(s, kSystemUuidField, kSystemUuidLength)) {
    std::memcpy(gInventory.systemUuid, table.data + s.offset + kSystemUuidField, kSystemUuidLength);
  }
}

// Lists hold 32 records; further probes of the table are ignored.
void AppendProbe(const TableView& table, const Structure& s, const smbios::StringSet& set,
                 ProbeRecord* list, uint32_t* count) {
  if (*count >= kMaxProbes) return;
  ProbeRecord& probe = list[(*count)++];
  probe.handle = s.handle;
  probe.locationAndStatus = smbios::FieldU8(table, s, smbios::kProbeLocationStatusField);
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, smbios::kProbeDescriptionField)),
                   probe.description, sizeof probe.description);
}

static_assert(kSmbiosTableSize <= 0x10000, "a place in the buffer fits 16 bits");

void NoteEventLog(const Structure& s) {
  if (gInventory.eventLogCount >= kMaxStructuresPerTable) return;
  gInventory.eventLogs[gInventory.eventLogCount++] = {static_cast<uint16_t>(s.offset),
                                                      static_cast<uint16_t>(s.available)};
}

// The string the description field names, or nothing: a lookup that fails gives no name worth
// showing, and a structure of the 2.3 layout (length 0Eh) has no such field at all.
std::string_view CoolingDescription(const TableView& table, const Structure& s, const smbios::StringSet& set) {
  if (s.length <= smbios::kCoolingDescriptionField) return {};
  std::string_view text = smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, smbios::kCoolingDescriptionField));
  if (text == smbios::kBadStringNumberText || text == smbios::kNoStringForHandleText) return {};
  return text;
}

void AppendCoolingDevice(const TableView& table, const Structure& s, const smbios::StringSet& set) {
  if (gInventory.coolingDeviceCount >= kMaxCoolingDevices) return;
  CoolingDeviceRecord& device = gInventory.coolingDevices[gInventory.coolingDeviceCount++];
  device.handle = s.handle;
  device.oemDefined = smbios::FieldU32(table, s, smbios::kCoolingOemField);
  smbios::CopyText(CoolingDescription(table, s, set), device.description, sizeof device.description);
}

void TakeMemoryDevice(const TableView& table, const Structure& s, const smbios::StringSet& set) {
  char locator[kLocatorBufferSize];
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, kDeviceLocatorField)),
                   locator, sizeof locator);
  gMemoryDeviceMap[s.handle] = locator;
}

void TakeStructure(const TableView& table, const Structure& s, const smbios::StringSet& set, void*) {
  switch (s.type) {
    case kTypeSystemInformation: TakeSystemInformation(table, s, set); break;
    case kTypeSystemEventLog: NoteEventLog(s); break;
    case kTypeMemoryDevice: TakeMemoryDevice(table, s, set); break;
    case kTypeVoltageProbe:
      AppendProbe(table, s, set, gInventory.voltageProbes, &gInventory.voltageProbeCount);
      break;
    case kTypeTemperatureProbe:
      AppendProbe(table, s, set, gInventory.temperatureProbes, &gInventory.temperatureProbeCount);
      break;
    case kTypeCoolingDevice: AppendCoolingDevice(table, s, set); break;
    default: break;
  }
}

}  // namespace

bool ParseSmbiosTable(const uint8_t* buffer) {
  // No table: the inventory keeps what it holds.
  if (smbios::HeaderU32(buffer, kSmbiosLayoutKind) == kSmbiosLayoutNone) return false;
  ClearInventory();
  return smbios::WalkSmbiosTable(buffer, TakeStructure, nullptr);
}

}  // namespace vigil
