#include "agent/platform/model_identification.h"

#include <cstring>

#include "contract/registry_paths.h"
#include "agent/eventtables/event_table.h"
#include "agent/platform/driver_channel.h"
#include "agent/platform/smbios_parser.h"

namespace vigil {

ModelIndex gModelIndex = kModelUnidentified;

namespace {

struct KnownModel {
  const char* productPrefix;  // exactly kModelNameLength characters
  ModelIndex index;
  const char* eventTableName;
};

constexpr std::size_t kModelNameLength = 10;

// Searched in order; the A140 shares the A141's index and event tables.
constexpr KnownModel kKnownModels[] = {
    {"Kelvo A140", kModelKelvoA14x, "Kelvo A141"},
    {"Kelvo A141", kModelKelvoA14x, "Kelvo A141"},
    {"Kelvo B720", kModelKelvoB720, "Kelvo B720"},
    {"Kelvo C850", kModelKelvoC850, "Kelvo C850"},
};

}  // namespace

bool IdentifyPlatformModel() {
  if (!ReadSmbiosTable(gSmbiosTable)) return false;
  ParseSmbiosTable(gSmbiosTable);
  // Only the first ten bytes count, so "Kelvo C850 Rack" is still a C850; a shorter name
  // carries its NUL inside the ten bytes and matches nothing.
  for (const KnownModel& model : kKnownModels) {
    if (std::memcmp(gInventory.productName, model.productPrefix, kModelNameLength) != 0) continue;
    gModelIndex = model.index;
    gEventTable.Load(kParametersBasePath, model.eventTableName);
    return true;
  }
  return false;
}

}  // namespace vigil
