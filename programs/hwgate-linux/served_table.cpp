#include "served_table.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "contract/driver_protocol.h"
#include "contract/smbios_types.h"
#include "probe_structures.h"

namespace hwlinux {

namespace {

namespace types = vigil::smbios;

constexpr uint32_t kHeaderSize = static_cast<uint32_t>(vigil::kSmbiosDataArea);
constexpr uint16_t kDefaultVersion = 0x0203;
constexpr uint8_t kProductNameAt = 0x05;

struct Piece {
  std::vector<uint8_t> bytes;
  uint8_t type = 0;
  uint16_t handle = 0;
  int sensor = -1;
  bool synthesized = false;
};

bool IsSensorType(uint8_t type) {
  return type == types::kTypeTemperatureProbe || type == types::kTypeVoltageProbe ||
         type == types::kTypeCoolingDevice;
}

// Types the agent reads; everything else may go when the table does not fit.
bool AgentReads(uint8_t type) {
  return type == types::kTypeSystemInformation || type == types::kTypeSystemEventLog ||
         type == types::kTypeMemoryDevice || IsSensorType(type);
}

// Types 5 and 15 have no strings of their own; one left behind by firmware is dropped, so the
// structure is served as the agent reads it. Cooling devices keep theirs: since SMBIOS 2.7 the
// description names the fan, and the agent's walk steps over a set wherever it finds one.
bool AgentReadsWithoutStrings(uint8_t type) {
  return types::IsStringlessType(type) && type != types::kTypeCoolingDevice;
}

std::string Lower(const std::string& text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Hex(uint16_t handle) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(handle >> shift) & 0xF];
  return text;
}

uint8_t DescriptionField(uint8_t type) {
  return type == types::kTypeCoolingDevice ? vigil::smbios::kCoolingDescriptionField : vigil::smbios::kProbeDescriptionField;
}

}  // namespace

bool SameSensorName(const std::string& a, const std::string& b) {
  return Lower(Trim(a)) == Lower(Trim(b));
}

void ServedTable::Build(const TableInput& input, std::vector<std::string>* notes) {
  sensors_ = input.sensors;
  probes_.clear();
  memoryDevices_.clear();
  std::vector<Piece> pieces;
  std::set<uint16_t> usedHandles;
  std::vector<bool> bound(sensors_.size(), false);
  std::string productName;
  uint16_t endHandle = 0;
  bool haveEnd = false, logPlaced = false;

  const FirmwareTable* fw = input.firmware;
  version_ = fw != nullptr ? static_cast<uint16_t>(fw->entry.major << 8 | fw->entry.minor) : kDefaultVersion;
  if (fw != nullptr) {
    for (const RawStructure& s : fw->structures) usedHandles.insert(s.handle);
    for (const RawStructure& s : fw->structures) {
      const uint8_t* at = fw->bytes.data() + s.offset;
      if (s.type == types::kTypeEndOfTable) {
        endHandle = s.handle;
        haveEnd = true;
        break;
      }
      Piece piece;
      piece.type = s.type;
      piece.handle = s.handle;
      piece.bytes.assign(at, at + s.size);
      if (s.type == types::kTypeSystemInformation && s.length > kProductNameAt) {
        productName = StructureString(fw->bytes.data(), s, at[kProductNameAt]);
      }
      if (s.type == types::kTypeSystemEventLog) {
        if (!input.logServed || logPlaced) continue;  // no usable log: no type 15 at all
        if (s.length < vigil::smbios::kEventLogMinLength) continue;       // too short to describe one: made anew below
        logPlaced = true;
      }
      if (IsSensorType(s.type)) {
        uint8_t field = DescriptionField(s.type);
        std::string description = s.length > field ? StructureString(fw->bytes.data(), s, at[field]) : "";
        std::string wanted = description;
        for (const Binding& b : input.bindings) {
          if (b.handle == s.handle) wanted = b.name;
        }
        for (size_t i = 0; i < sensors_.size() && !wanted.empty(); ++i) {
          if (bound[i] || StructureTypeFor(sensors_[i].sensor.kind) != s.type ||
              !SameSensorName(sensors_[i].sensor.name, wanted)) {
            continue;
          }
          bound[i] = true;
          piece.sensor = static_cast<int>(i);
          notes->push_back("firmware structure " + Hex(s.handle) + " \"" + wanted + "\" reads " +
                           sensors_[i].sensor.origin);
          break;
        }
      }
      if (AgentReadsWithoutStrings(s.type)) {
        piece.bytes.resize(s.length);
        piece.bytes.push_back(0);
        piece.bytes.push_back(0);
      }
      if (s.type == types::kTypeSystemEventLog) DescribeServedLog(&piece.bytes, input.logAreaLength);
      pieces.push_back(std::move(piece));
    }
  }
  for (const Binding& b : input.bindings) {
    bool matched = std::any_of(pieces.begin(), pieces.end(), [&](const Piece& p) {
      return p.handle == b.handle && p.sensor >= 0;
    });
    if (!matched) notes->push_back("binding of " + Hex(b.handle) + " to \"" + b.name + "\" matches no firmware probe and live sensor of one kind");
  }

  uint16_t next = kFirstSynthesizedHandle;
  auto nextHandle = [&] {
    while (usedHandles.count(next) != 0) ++next;
    usedHandles.insert(next);
    return next;
  };
  uint32_t fans = 0;
  for (size_t i = 0; i < sensors_.size(); ++i) {
    if (bound[i]) continue;
    Piece piece;
    piece.handle = nextHandle();
    piece.type = StructureTypeFor(sensors_[i].sensor.kind);
    piece.bytes = piece.type == types::kTypeCoolingDevice
                      ? MakeCoolingDevice(piece.handle, FanOemValue(productName, ++fans), sensors_[i].sensor.name)
                      : MakeProbe(sensors_[i].sensor.kind, piece.handle, sensors_[i].sensor.name);
    piece.sensor = static_cast<int>(i);
    piece.synthesized = true;
    pieces.push_back(std::move(piece));
  }
  // After the probes, so their handles do not depend on whether the firmware had a log.
  if (input.logServed && !logPlaced) {
    Piece piece;
    piece.type = types::kTypeSystemEventLog;
    piece.handle = nextHandle();
    piece.bytes = MakeEventLog(piece.handle, input.logAreaLength);
    piece.synthesized = true;
    pieces.push_back(std::move(piece));
  }

  // Fit: first structures the agent never reads, then (still too large) any but the system
  // information and the log, always from the end, never cutting one.
  std::vector<uint8_t> end = MakeEndOfTable(haveEnd ? endHandle : nextHandle());
  const uint32_t capacity = vigil::kSmbiosTableSize - kHeaderSize - static_cast<uint32_t>(end.size());
  uint32_t total = 0;
  for (const Piece& p : pieces) total += static_cast<uint32_t>(p.bytes.size());
  // A table of many tiny structures could drop thousands: the first few are named, the rest
  // summed up in one line.
  constexpr size_t kNamedDrops = 8;
  size_t dropped = 0, droppedBytes = 0;
  for (int pass = 0; pass < 2 && total > capacity; ++pass) {
    std::vector<bool> keep(pieces.size(), true);
    for (size_t i = pieces.size(); i-- > 0 && total > capacity;) {
      uint8_t type = pieces[i].type;
      bool droppable = pass == 0 ? !AgentReads(type)
                                 : type != types::kTypeSystemInformation && type != types::kTypeSystemEventLog;
      if (!droppable) continue;
      if (dropped++ < kNamedDrops) {
        notes->push_back("dropped structure type " + std::to_string(type) + " handle " + Hex(pieces[i].handle) +
                         " (" + std::to_string(pieces[i].bytes.size()) + " bytes) to fit the 8192-byte table");
      } else {
        droppedBytes += pieces[i].bytes.size();
      }
      total -= static_cast<uint32_t>(pieces[i].bytes.size());
      keep[i] = false;
    }
    size_t kept = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (!keep[i]) continue;
      if (kept != i) pieces[kept] = std::move(pieces[i]);
      ++kept;
    }
    pieces.resize(kept);
  }
  if (dropped > kNamedDrops) {
    notes->push_back("dropped " + std::to_string(dropped - kNamedDrops) + " more structures (" +
                     std::to_string(droppedBytes) + " bytes) to fit the 8192-byte table");
  }

  buffer_.assign(vigil::kSmbiosTableSize, 0);
  uint32_t at = kHeaderSize;
  for (const Piece& p : pieces) {
    if (at + p.bytes.size() > vigil::kSmbiosTableSize - end.size()) break;  // only when system parts alone overflow
    std::copy(p.bytes.begin(), p.bytes.end(), buffer_.begin() + at);
    if (IsSensorType(p.type)) probes_.push_back({p.handle, p.type, at, p.bytes[1], p.sensor, p.synthesized});
    if (p.type == types::kTypeMemoryDevice) memoryDevices_.push_back(p.handle);
    at += static_cast<uint32_t>(p.bytes.size());
  }
  std::copy(end.begin(), end.end(), buffer_.begin() + at);
  at += static_cast<uint32_t>(end.size());
  tableLength_ = at - kHeaderSize;
  auto put32 = [&](size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) buffer_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(vigil::kSmbiosLayoutKind, vigil::kSmbiosLayoutStandard);
  put32(vigil::kSmbiosVersion, version_);
  put32(vigil::kSmbiosTableLength, tableLength_);
}

const ServedProbe* ServedTable::FindProbe(uint16_t handle) const {
  for (const ServedProbe& p : probes_) {
    if (p.handle == handle) return &p;
  }
  return nullptr;
}

int ServedTable::ProbeHandle(const std::string& origin, uint32_t key) const {
  for (const ServedProbe& p : probes_) {
    if (p.sensor < 0) continue;
    const LiveSensor& s = sensors_[static_cast<size_t>(p.sensor)].sensor;
    if (s.origin == origin && s.key == key) return p.handle;
  }
  return -1;
}

int ServedTable::MemoryDeviceHandle(uint32_t index) const {
  return index < memoryDevices_.size() ? memoryDevices_[index] : -1;
}

}  // namespace hwlinux
