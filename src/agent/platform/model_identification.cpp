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

namespace {

constexpr const char* kTableCaption = "HwGate";

// False when the service was asked to stop meanwhile: the start-up then goes on at once with
// what it has, and the main cycle sees the stop after it.
bool WaitBeforeRetry(uint32_t delayMs) {
  if (gStopEvent == nullptr) {
    os::SleepMs(delayMs);
    return true;
  }
  return os::WaitForEvent(gStopEvent, delayMs) != os::WaitResult::kSignaled;
}

// An agent that went on without the table would publish no probes and no fans, and never read
// it again: each failure is logged, and the read tried again, boundedly. 0 once the table is in
// gSmbiosTable, -1 when every attempt failed (logged as an error).
int ReadPlatformTable() {
  uint32_t delayMs = gTableRetryDelayMs;
  char text[200];
  for (int attempt = 1;; ++attempt) {
    if (ReadSmbiosTable(gSmbiosTable) == 0) {
      if (attempt > 1) {
        std::snprintf(text, sizeof text, "SMBIOS table read through the driver at attempt %d", attempt);
        os::MessageBox(text, kTableCaption, os::kMbOk);
      }
      return 0;
    }
    const bool last = attempt >= kTableReadAttempts;
    if (last) {
      std::snprintf(text, sizeof text,
                    "Cannot read the SMBIOS table through the driver after %d attempts: no server model, probes "
                    "or fans are known to this agent until it is restarted",
                    attempt);
    } else {
      std::snprintf(text, sizeof text,
                    "Cannot read the SMBIOS table through the driver (attempt %d of %d); trying again in %u ms",
                    attempt, kTableReadAttempts, unsigned(delayMs));
    }
    os::MessageBox(text, kTableCaption, last ? os::kMbIconError : os::kMbIconWarning);
    if (last || !WaitBeforeRetry(delayMs)) return -1;
    delayMs *= 2;
  }
}

}  // namespace

bool IdentifyPlatformModel(bool* tableParsed) {
  if (tableParsed != nullptr) *tableParsed = false;
  if (ReadPlatformTable() != 0) return false;
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
