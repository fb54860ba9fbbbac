#include "platform/model_identification.h"

#include "config/registry_paths.h"
#include "eventtables/event_table.h"
#include "platform/driver_channel.h"
#include "platform/known_models.h"
#include "platform/smbios_parser.h"

namespace vigil {

int32_t gModelIndex = 0;

bool IdentifyPlatformModel() {
  if (!ReadSmbiosTable(gSmbiosTable)) return false;
  ParseSmbiosTable(gSmbiosTable);
  const KnownModel* model = FindKnownModel(gInventory.productName);
  if (model == nullptr) return false;
  gModelIndex = model->index;
  gEventTable.Load(kParametersBasePath, model->eventTableName);
  return true;
}

}  // namespace vigil
