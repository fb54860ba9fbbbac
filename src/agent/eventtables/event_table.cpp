#include "agent/eventtables/event_table.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "contract/registry_paths.h"

namespace vigil {

namespace {

// "%02X_%08X" plus room for an event type that does not fit a byte.
constexpr std::size_t kEventKeySize = 24;
constexpr char kEmptyText[] = "";

std::string_view FormatEventKey(uint32_t eventType, uint32_t eventCode, char (&key)[kEventKeySize]) {
  int length = std::snprintf(key, sizeof key, "%02X_%08X", eventType, eventCode);
  return {key, length > 0 ? static_cast<std::size_t>(length) : 0};
}

// Length of the text at `p` up to its first NUL, looking at no more than `limit` bytes.
std::size_t BoundedLength(const char* p, std::size_t limit) {
  const void* nul = std::memchr(p, 0, limit);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - p) : limit;
}

// Joins the base path and the table name into `path`; false when they do not fit.
bool JoinTablePath(const char* basePath, const char* tableName, char (&path)[kRegBufferSize]) {
  int length = std::snprintf(path, sizeof path, "%s%s", basePath, tableName);
  return length >= 0 && static_cast<std::size_t>(length) < sizeof path;
}

}  // namespace

void EventTable::Clear() {
  entries_.clear();
  key_.Close();
}

int EventTable::Load(const char* basePath, const char* modelName) {
  const int strings = LoadStringTable(basePath, modelName);
  const int pets = LoadPetTable(basePath, modelName);
  return strings == 0 && pets == 0 ? 0 : -1;
}

int EventTable::LoadStringTable(const char* basePath, const char* modelName) {
  return LoadTable(basePath, kEventStringTableName, modelName, &EventTable::TakeText);
}

int EventTable::LoadPetTable(const char* basePath, const char* modelName) {
  return LoadTable(basePath, kEventPetTableName, modelName, &EventTable::TakePet);
}

int EventTable::LoadTable(const char* basePath, const char* tableName, const char* modelName,
                           void (*take)(EventDescription*, const char*, std::size_t)) {
  char path[kRegBufferSize];
  if (!JoinTablePath(basePath, tableName, path)) return -1;
  if (key_.Open(path, modelName) != 0) return -1;
  // One byte more than the registry may write into each, so both always end in a NUL: the
  // data are not trusted to hold one.
  char name[kRegBufferSize + 1];
  uint8_t data[kRegBufferSize + 1];
  for (uint32_t index = 0;; ++index) {
    uint32_t dataLength = 0;
    // A failing enumeration has closed the key itself.
    // The end of the values and a failed read both end the load: what was read is kept.
    if (key_.EnumValue(name, index, data, &dataLength) != 0) return 0;
    name[kRegBufferSize] = '\0';
    const std::size_t length = dataLength < kRegBufferSize ? dataLength : kRegBufferSize;
    data[length] = '\0';
    const char* text = reinterpret_cast<const char*>(data);
    auto entry = entries_.try_emplace(std::string(name, BoundedLength(name, kRegBufferSize))).first;
    take(&entry->second, text, BoundedLength(text, length));
  }
}

void EventTable::TakeText(EventDescription* description, const char* text, std::size_t length) {
  description->text.assign(text, length);
}

void EventTable::TakePet(EventDescription* description, const char* text, std::size_t) {
  ParsePetValue(text, &description->pet);
}

const EventDescription* EventTable::Find(uint32_t eventType, uint32_t eventCode) const {
  char key[kEventKeySize];
  const std::string_view wanted = FormatEventKey(eventType, eventCode, key);
  auto it = entries_.lower_bound(wanted);
  if (it == entries_.end() || std::string_view(it->first) != wanted) return nullptr;
  return &it->second;
}

const char* EventTable::LookupText(uint32_t eventType, uint32_t eventCode) const {
  const EventDescription* description = Find(eventType, eventCode);
  return description ? description->text.c_str() : kEmptyText;
}

const PetRecord* EventTable::LookupPet(uint32_t eventType, uint32_t eventCode) const {
  const EventDescription* description = Find(eventType, eventCode);
  return description ? &description->pet : nullptr;
}

}  // namespace vigil
