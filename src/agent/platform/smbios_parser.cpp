#include "agent/platform/smbios_parser.h"
#include "contract/smbios_types.h"

#include <cstring>

#include "agent/eventlog/event_log_reader.h"
#include "agent/platform/smbios_strings.h"

namespace vigil {

Inventory gInventory{};
std::map<uint16_t, std::string> gMemoryDeviceMap;
uint8_t gSmbiosTable[8192];

namespace {

using smbios::Structure;
using smbios::TableView;

using namespace smbios;  // structure types

constexpr std::size_t kHeaderLength = 4;
constexpr std::size_t kProductNameField = 0x05;
constexpr std::size_t kUuidField = 0x08;
constexpr std::size_t kUuidSize = sizeof gInventory.systemUuid;
constexpr std::size_t kProbeDescriptionField = 0x04;
constexpr std::size_t kProbeLocationField = 0x05;
constexpr std::size_t kCoolingOemField = 0x08;
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
  gEventLogReader.logDataSize = 0;
}

void TakeSystemInformation(const TableView& table, const Structure& s, const smbios::StringSet& set) {
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, kProductNameField)),
                   gInventory.productName, sizeof gInventory.productName);
  // A version 2.0 structure (length 8) has no UUID. One that is longer but too short for the
  // whole field is malformed: what lies past its end is not a UUID, so none is taken either.
  if (s.length > kUuidField && smbios::HasField(s, kUuidField, kUuidSize)) {
    std::memcpy(gInventory.systemUuid, table.data + s.offset + kUuidField, kUuidSize);
  }
}

// Lists hold 32 records; further probes of the table are ignored.
void AppendProbe(const TableView& table, const Structure& s, const smbios::StringSet& set,
                 ProbeRecord* list, uint32_t* count) {
  if (*count >= kMaxProbes) return;
  ProbeRecord& probe = list[(*count)++];
  probe.handle = s.handle;
  probe.locationAndStatus = smbios::FieldU8(table, s, kProbeLocationField);
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, kProbeDescriptionField)),
                   probe.description, sizeof probe.description);
}

void AppendCoolingDevice(const TableView& table, const Structure& s) {
  if (gInventory.coolingDeviceCount >= kMaxCoolingDevices) return;
  CoolingDeviceRecord& device = gInventory.coolingDevices[gInventory.coolingDeviceCount++];
  device.handle = s.handle;
  device.oemDefined = smbios::FieldU32(table, s, kCoolingOemField);
}

void TakeMemoryDevice(const TableView& table, const Structure& s, const smbios::StringSet& set) {
  char locator[kLocatorBufferSize];
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, kDeviceLocatorField)),
                   locator, sizeof locator);
  gMemoryDeviceMap[s.handle] = locator;
}

// Types whose structures carry no strings of their own.
bool HasNoStrings(uint8_t type) {
  return type == kTypeMemoryController || type == kTypeSystemEventLog || type == kTypeCoolingDevice;
}

// Where the walk goes after `s`, and whether it may go on; reads the string-set of `s` into
// `set` in the standard layout.
bool FindNext(const TableView& table, const Structure& s, smbios::StringSet* set, std::size_t* next) {
  set->count = 0;
  const std::size_t afterFormatted = smbios::OffsetInBuffer(s.offset, s.length);
  if (table.stringsApart) {
    *next = afterFormatted;
    if (HasNoStrings(s.type) && afterFormatted + 1 < smbios::kBufferSize &&
        table.data[afterFormatted] == 0 && table.data[afterFormatted + 1] == 0) {
      *next = afterFormatted + 2;  // an empty string-set left behind all the same
    }
    return true;
  }
  // The string-less types are followed by an empty set (two NULs), which the set reader steps
  // over just the same. Should one carry strings after all (newer firmware gives cooling
  // devices a description), stepping over the whole set keeps the walk on structure
  // boundaries instead of reading text as structures.
  smbios::SetReading reading = smbios::ReadStringSet(table, afterFormatted, set);
  *next = reading.next;
  return reading.end != smbios::SetEnd::kTooMany;
}

void TakeStructure(const TableView& table, const Structure& s, const smbios::StringSet& set) {
  switch (s.type) {
    case kTypeSystemInformation: TakeSystemInformation(table, s, set); break;
    case kTypeSystemEventLog:
      SetUpEventLog(table.data + s.offset, static_cast<uint32_t>(s.available));
      break;
    case kTypeMemoryDevice: TakeMemoryDevice(table, s, set); break;
    case kTypeVoltageProbe:
      AppendProbe(table, s, set, gInventory.voltageProbes, &gInventory.voltageProbeCount);
      break;
    case kTypeTemperatureProbe:
      AppendProbe(table, s, set, gInventory.temperatureProbes, &gInventory.temperatureProbeCount);
      break;
    case kTypeCoolingDevice: AppendCoolingDevice(table, s); break;
    default: break;
  }
}

}  // namespace

void ParseSmbiosTable(const uint8_t* buffer) {
  const uint32_t kind = smbios::HeaderU32(buffer, kSmbiosLayoutKind);
  if (kind == kSmbiosLayoutNone) return;  // no table: the inventory keeps what it holds

  TableView table{buffer, kind == kSmbiosLayoutStringsApart, smbios::kBufferSize, smbios::kBufferSize};
  if (table.stringsApart) {
    table.firstStrings = kSmbiosDataArea;
    table.secondStrings =
        smbios::OffsetInBuffer(kSmbiosDataArea, smbios::HeaderU32(buffer, kSmbiosSecondStringTable));
  }
  ClearInventory();

  const std::size_t first =
      smbios::OffsetInBuffer(kSmbiosDataArea, smbios::HeaderU32(buffer, kSmbiosFirstStructure));
  // The table length may claim more than the buffer holds; the buffer end bounds the walk.
  const uint64_t claimedEnd = uint64_t{first} + smbios::HeaderU32(buffer, kSmbiosTableLength);
  const std::size_t end = claimedEnd < smbios::kBufferSize ? static_cast<std::size_t>(claimedEnd)
                                                           : smbios::kBufferSize;

  std::size_t position = first;
  while (position < end && smbios::kBufferSize - position >= kHeaderLength) {
    Structure s{position, 0, buffer[position], buffer[position + 1], 0};
    // A length below the header's own size would never move the walk forward.
    if (s.length < kHeaderLength) break;
    if (s.type == kTypeEndOfTable || s.type == kTypeLast) break;
    s.handle = static_cast<uint16_t>(buffer[position + 2] | (buffer[position + 3] << 8));
    s.available = s.length < smbios::kBufferSize - position ? s.length : smbios::kBufferSize - position;

    smbios::StringSet set;
    std::size_t next = smbios::kBufferSize;
    const bool goOn = FindNext(table, s, &set, &next);
    TakeStructure(table, s, set);
    if (!goOn) break;
    position = next;
  }
}

}  // namespace vigil
