// One history entry as a Platform Event Trap (PET v1.0): the specific trap number and the
// OCTET STRING of the single varbind, built from an entry already copied out of the block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contract/block_layout.h"

namespace vigilctl {

// Enterprise of every PET (wired-for-management.PET.version 1) and its one varbind.
constexpr uint32_t kPetEnterprise[] = {1, 3, 6, 1, 4, 1, 3183, 1, 1};
constexpr uint32_t kPetVarbind[] = {1, 3, 6, 1, 4, 1, 3183, 1, 1, 1};
constexpr int kPetGenericTrap = 6;  // enterpriseSpecific

// Event severities as PET encodes them (one bit each); 0 is "unspecified".
constexpr uint8_t kSeverityUnspecified = 0x00;
constexpr uint8_t kSeverityMonitor = 0x01;
constexpr uint8_t kSeverityInformation = 0x02;
constexpr uint8_t kSeverityOk = 0x04;
constexpr uint8_t kSeverityNonCritical = 0x08;
constexpr uint8_t kSeverityCritical = 0x10;
constexpr uint8_t kSeverityNonRecoverable = 0x20;

// The fields of the varbind, in their order on the wire.
struct PetFields {
  uint8_t guid[16];           // the system UUID as SMBIOS stores it
  uint16_t sequence;
  uint32_t localTimestamp;    // local seconds since 1998-01-01 00:00; 0 = unspecified
  uint16_t utcOffset;         // signed minutes east of UTC; 0xFFFF = unspecified
  uint8_t trapSourceType;
  uint8_t eventSourceType;
  uint8_t severity;
  uint8_t sensorDevice;
  uint8_t sensorNumber;
  uint8_t entity;
  uint8_t entityInstance;
  uint8_t eventData[8];
  uint8_t languageCode;
  uint32_t manufacturerId;    // IANA enterprise number; 0 = unspecified
  uint16_t systemId;
  std::string text;           // carried in the OEM custom fields
};

// sensor type << 16 | event type << 8 | deassertion bit (0x80) | event offset.
uint32_t PetSpecificTrap(const vigil::HistoryEntry& entry);
// The severity an NMS should give the event, from its type and offset.
uint8_t PetEventSeverity(const vigil::HistoryEntry& entry);
// `sequence` numbers the trap (the entry's append number); `utcOffsetMinutes` is the local
// zone's offset at the event's time.
PetFields PetFromEntry(const vigil::HistoryEntry& entry, const uint8_t* uuid16, uint16_t sequence,
                       int utcOffsetMinutes);
// The OCTET STRING: fixed fields most significant byte first, then the text as 8-bit text
// fields (type/length byte 0xC0 | n, n <= 63) and the end-of-fields byte 0xC1.
std::vector<uint8_t> EncodePetVarbind(const PetFields& fields);

// One notification's content: the specific trap and the PET varbind. Built once per entry, so
// every copy of it (a retransmission, a resend after a restart) carries the same identity.
struct TrapMessage {
  uint32_t specificTrap;
  std::vector<uint8_t> petVarbind;
};

// Severity names for configuration ("critical", "non-critical", ...); false when unknown.
bool ParsePetSeverity(const std::string& name, uint8_t* severity);

}  // namespace vigilctl
