#include "eventtables/event_table.h"

namespace vigil {

EventTable gEventTable;

int EventTable::Load(const char* basePath, const char* modelName) {
  LoadStringTable(basePath, modelName);
  LoadPetTable(basePath, modelName);
  return 0;
}

void EventTable::LoadStringTable(const char*, const char*) {}
void EventTable::LoadPetTable(const char*, const char*) {}
const char* EventTable::LookupText(uint32_t, uint32_t) const { return ""; }
const PetRecord* EventTable::LookupPet(uint32_t, uint32_t) const { return nullptr; }

int ParsePetValue(const char*, PetRecord*) { return 0; }

}  // namespace vigil
