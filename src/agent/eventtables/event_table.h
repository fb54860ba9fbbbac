// The per-model event description table: texts and PET records by event key "%02X_%08X".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "agent/config/reg_key.h"
#include "agent/state/agent_state.h"

namespace vigil {

using PetRecord = std::array<uint8_t, 8>;

struct EventDescription {
  PetRecord pet{};  // zero when created; only PET values set it
  std::string text;
};

constexpr uint32_t kGeneralEventCode = 0xFFFFFFFFu;

class EventTable {
 public:
  // Loads the string table, then the PET table, of `modelName` (a missing key is created
  // empty). 0 when both keys were opened and read; -1 when either could not be opened (an
  // unusable registry), in which case that table adds nothing and the other still loads.
  int Load(const char* basePath, const char* modelName);
  int LoadStringTable(const char* basePath, const char* modelName);
  int LoadPetTable(const char* basePath, const char* modelName);

  // Never null: the entry's text or "". Valid until the table changes. Does not allocate.
  const char* LookupText(uint32_t eventType, uint32_t eventCode) const;
  // The entry's eight PET bytes, or null. Does not allocate.
  const PetRecord* LookupPet(uint32_t eventType, uint32_t eventCode) const;

  const std::map<std::string, EventDescription, std::less<>>& entries() const { return entries_; }
  // Forgets every entry and closes any key: the table of a process that loaded none.
  void Clear();
  // Whether a table key is still open (a load leaves none open).
  bool IsOpen() const { return key_.IsOpen(); }

 private:
  // Opens basePath + tableName + modelName and hands every enumerated value's data (up to its
  // first NUL, always NUL-terminated) to `take` for the value name's entry. 0, or -1 when the
  // key could not be opened.
  int LoadTable(const char* basePath, const char* tableName, const char* modelName,
                 void (*take)(EventDescription*, const char*, std::size_t));
  static void TakeText(EventDescription* description, const char* text, std::size_t length);
  static void TakePet(EventDescription* description, const char* text, std::size_t length);
  const EventDescription* Find(uint32_t eventType, uint32_t eventCode) const;

  std::map<std::string, EventDescription, std::less<>> entries_;
  RegKey key_;  // the table key being enumerated
};

// Parses a PET value exactly as sscanf(data, "%x,%x,%x,%x,%x,%x,%x,%x") would, storing number
// k into pet[k] (low 8 bits); bytes of missing numbers keep their values. Returns the count.
int ParsePetValue(const char* data, PetRecord* pet);

}  // namespace vigil
