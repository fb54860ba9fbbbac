#include "core/smbios_builder.h"

#include "contract/le_bytes.h"
#include "provider/bytes.h"

namespace hwsim {

namespace {

constexpr uint32_t kMaxFormattedLength = 255 - 4;
constexpr uint32_t kSmbiosDataCapacity = vigil::kSmbiosTableSize - vigil::kSmbiosDataArea;
constexpr uint32_t kTableVersion = 0x0203;  // the layouts the fixtures follow (SMBIOS 2.3)

// Appends to the data area; remembers an overflow instead of writing past it.
struct Writer {
  uint8_t* at;
  uint32_t capacity;
  uint32_t used;
  bool overflow;

  void Byte(uint8_t value) {
    if (used < capacity) {
      at[used++] = value;
    } else {
      overflow = true;
    }
  }
  void Bytes(const uint8_t* from, uint32_t count) {
    if (count > capacity - used) {
      overflow = true;
      used = capacity;
      return;
    }
    hwgate::CopyBytes(at + used, from, count);
    used += count;
  }
  void Text(const char* text) {
    Bytes(reinterpret_cast<const uint8_t*>(text), hwgate::TextLength(text, capacity + 1));
    Byte(0);
  }
};

// The string table key of a handle: four uppercase hex digits.
void WriteHandleKey(Writer& out, uint16_t handle) {
  const char* digits = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) out.Byte(static_cast<uint8_t>(digits[(handle >> shift) & 0xF]));
  out.Byte(0);
}

void WriteStringSet(Writer& out, const StructureDef& def) {
  for (uint32_t i = 0; i < def.stringCount; ++i) out.Text(def.strings[i]);
  if (def.stringCount == 0) out.Byte(0);
  out.Byte(0);
}

// One string table of the strings-apart layout: entries of the structures placed in it,
// then the empty key.
void WriteStringTable(Writer& out, const StructureDef* defs, uint32_t count, uint8_t table) {
  for (uint32_t i = 0; i < count; ++i) {
    const StructureDef& def = defs[i];
    if (def.stringTable != table || def.stringCount == 0) continue;
    WriteHandleKey(out, def.handle);
    for (uint32_t s = 0; s < def.stringCount; ++s) out.Text(def.strings[s]);
    out.Byte(0);
  }
  out.Byte(0);
}

// The log data size the way the agent derives it from a type 15 structure; a log it would not
// follow still gets the whole room, so tests can fill it through ctl.
uint32_t LogCapacityOf(const uint8_t* structure, uint32_t length) {
  uint8_t area[20] = {};
  hwgate::CopyBytes(area, structure, length < 20 ? length : 20);
  uint32_t areaLength = vigil::le::Load16(area + 4);
  uint32_t dataStart = vigil::le::Load16(area + 8);
  uint8_t method = area[10];
  uint32_t address = vigil::le::Load32(area + 16);
  uint32_t capacity = kMaxLogBytes;
  if (method == 3 && address != 0 && areaLength > dataStart + 16) {
    capacity = areaLength - dataStart;
  } else if (method == 4) {
    capacity = areaLength;
  }
  return capacity < kMaxLogBytes ? capacity : kMaxLogBytes;
}

bool IsSensorType(uint8_t type) {
  return type == vigil::smbios::kTypeVoltageProbe || type == vigil::smbios::kTypeTemperatureProbe || type == vigil::smbios::kTypeCoolingDevice;
}

// Takes the slot's starting reading from the structure itself: the status byte and the
// nominal value (probes) or nominal speed (cooling devices).
SensorSlot SlotOf(const Core& core, uint16_t handle, uint8_t type, uint32_t offset,
                  uint8_t length) {
  bool probe = type != vigil::smbios::kTypeCoolingDevice;
  uint32_t statusAt = probe ? vigil::kProbeStatusByte : vigil::kCoolingStatusByte;
  uint32_t rawAt = probe ? vigil::kProbeRawWord : vigil::kCoolingRawWord;
  const uint8_t* area = core.smbios + offset;
  SensorSlot slot = {};
  slot.handle = handle;
  slot.structureType = type;
  slot.offset = static_cast<uint16_t>(offset);
  slot.length = length;
  slot.status = statusAt < length ? area[statusAt] : 0;
  slot.raw = rawAt + 1 < length ? vigil::le::Load16(area + rawAt) : 0;
  return slot;
}

BuildResult CheckDefs(Layout layout, const StructureDef* defs, uint32_t count,
                      uint32_t* failedIndex) {
  uint32_t sensors = 0;
  for (uint32_t i = 0; i < count; ++i) {
    *failedIndex = i;
    const StructureDef& def = defs[i];
    if (def.formattedLength > kMaxFormattedLength) return BuildResult::kFormattedTooLong;
    for (uint32_t s = 0; s < def.stringCount; ++s) {
      if (def.strings[s][0] == '\0') return BuildResult::kEmptyString;
    }
    if (layout == Layout::kStringsApart && def.stringCount != 0 && def.stringTable != 1 &&
        def.stringTable != 2) {
      return BuildResult::kBadStringTable;
    }
    if (IsSensorType(def.type) && ++sensors > kMaxSensors) return BuildResult::kTooManySensors;
  }
  *failedIndex = count;
  return BuildResult::kOk;
}

void ClearTable(Core& core) {
  hwgate::FillBytes(core.smbios, 0, vigil::kSmbiosTableSize);
  core.sensorCount = 0;
  core.logCapacity = kMaxLogBytes;
}

}  // namespace

BuildResult BuildSmbiosTable(Core& core, Layout layout, const StructureDef* defs, uint32_t count,
                             uint32_t* failedIndex) {
  ClearTable(core);
  BuildResult check = CheckDefs(layout, defs, count, failedIndex);
  if (check != BuildResult::kOk) return check;

  Writer out = {core.smbios + vigil::kSmbiosDataArea, kSmbiosDataCapacity, 0, false};
  uint32_t secondTable = 0;
  if (layout == Layout::kStringsApart) {
    WriteStringTable(out, defs, count, 1);
    secondTable = out.used;
    WriteStringTable(out, defs, count, 2);
  }
  uint32_t firstStructure = out.used;
  bool sawLog = false;
  for (uint32_t i = 0; i < count && !out.overflow; ++i) {
    const StructureDef& def = defs[i];
    uint32_t offset = vigil::kSmbiosDataArea + out.used;
    uint8_t length = static_cast<uint8_t>(4 + def.formattedLength);
    uint8_t header[4] = {def.type, length, static_cast<uint8_t>(def.handle),
                         static_cast<uint8_t>(def.handle >> 8)};
    out.Bytes(header, 4);
    out.Bytes(def.formatted, def.formattedLength);
    if (out.overflow) break;
    if (IsSensorType(def.type)) {
      core.sensors[core.sensorCount++] = SlotOf(core, def.handle, def.type, offset, length);
    } else if (def.type == vigil::smbios::kTypeSystemEventLog && !sawLog) {
      sawLog = true;
      core.logCapacity = LogCapacityOf(core.smbios + offset, length);
    }
    if (layout != Layout::kStringsApart) WriteStringSet(out, def);
  }
  if (out.overflow) {
    ClearTable(core);
    *failedIndex = count;
    return BuildResult::kTooLarge;
  }
  vigil::le::Store32(core.smbios + vigil::kSmbiosLayoutKind, static_cast<uint32_t>(layout));
  vigil::le::Store32(core.smbios + vigil::kSmbiosVersion, kTableVersion);
  vigil::le::Store32(core.smbios + vigil::kSmbiosFirstStructure, firstStructure);
  vigil::le::Store32(core.smbios + vigil::kSmbiosSecondStringTable, secondTable);
  vigil::le::Store32(core.smbios + vigil::kSmbiosTableLength, out.used - firstStructure);
  return BuildResult::kOk;
}

const char* DescribeBuildResult(BuildResult result) {
  switch (result) {
    case BuildResult::kOk: return "ok";
    case BuildResult::kTooLarge: return "the table does not fit the 8192-byte buffer";
    case BuildResult::kFormattedTooLong: return "formatted area longer than 251 bytes";
    case BuildResult::kEmptyString: return "empty string (it would end the string-set)";
    case BuildResult::kBadStringTable: return "stringTable must be 1 or 2";
    case BuildResult::kTooManySensors: return "more than 128 probes and cooling devices";
  }
  return "unknown";
}

}  // namespace hwsim
