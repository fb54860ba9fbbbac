#include "agent/platform/model_identification.h"

#include "contract/registry_paths.h"
#include "agent/eventtables/event_table.h"
#include "agent/platform/driver_channel.h"
#include "smbios/known_models.h"
#include "agent/platform/smbios_parser.h"

namespace vigil {

ModelIndex gModelIndex = kModelUnidentified;
bool gGenericSetInUse = false;  // set at identification; off unless the generic set is there

bool IdentifyPlatformModel(bool* tableParsed) {
  if (tableParsed != nullptr) *tableParsed = false;
  if (!ReadSmbiosTable(gSmbiosTable)) return false;
  const bool parsed = ParseSmbiosTable(gSmbiosTable);
  if (tableParsed != nullptr) *tableParsed = parsed;
  const KnownModel* model = FindKnownModel(gInventory.productName);
  if (model == nullptr) return false;
  gModelIndex = model->index;
  gEventTable.Load(kParametersBasePath, model->eventTableName);
  return true;
}

}  // namespace vigil
