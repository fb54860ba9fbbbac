#include "agent/platform/model_identification.h"

#include <cstdio>

#include "contract/registry_paths.h"
#include "agent/eventtables/event_table.h"
#include "agent/platform/driver_channel.h"
#include "os/os.h"
#include "smbios/known_models.h"
#include "agent/platform/smbios_parser.h"

namespace vigil {

bool GenericSetPresent() {
  char path[kRegBufferSize];
  const int length = std::snprintf(path, sizeof path, "%s%s%s", kParametersBasePath, kEventStringTableName,
                                   kGenericEventTableName);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) return false;
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path, os::kKeyRead, &key) != os::kErrorSuccess || key == nullptr) return false;
  os::RegCloseKey(key);
  return true;
}

bool IdentifyPlatformModel(bool* tableParsed) {
  if (tableParsed != nullptr) *tableParsed = false;
  if (!ReadSmbiosTable(gSmbiosTable)) return false;
  const bool parsed = ParseSmbiosTable(gSmbiosTable);
  if (tableParsed != nullptr) *tableParsed = parsed;
  const KnownModel* model = FindKnownModel(gInventory.productName);
  if (model == nullptr) {
    if (GenericSetPresent()) {
      gGenericSetInUse = true;
      gEventTable.Load(kParametersBasePath, kGenericEventTableName);
    }
    return false;
  }
  gModelIndex = model->index;
  gEventTable.Load(kParametersBasePath, model->eventTableName);
  return true;
}

}  // namespace vigil
