// The read position of the BIOS log in the registry, so that a restart does not report
// records again.
#include "agent/config/reg_key.h"
#include "contract/registry_paths.h"
#include "agent/eventlog/event_log_reader.h"

namespace vigil {

int LoadLogPosition() {
  RegKey key;
  if (key.Open(kParametersBasePath, kEventLogParameterSubkey) != 0) return -1;
  uint32_t offset = 0;
  uint32_t firstLogTime = 0;
  // A failed read closes the key itself.
  if (key.ReadValue(kLogOffsetValue, &offset, sizeof offset) != 0) return -1;
  if (key.ReadValue(kLogFirstTimeValue, &firstLogTime, sizeof firstLogTime) != 0) return -1;
  key.Close();
  gEventLogReader.storedFirstRecordTime = firstLogTime;
  gEventLogReader.storedPosition = uint16_t(offset);
  return 0;
}

int SaveLogPosition() {
  RegKey key;
  if (key.Open(kParametersBasePath, kEventLogParameterSubkey) != 0) return -1;
  if (key.WriteDword(kLogOffsetValue, gEventLogReader.storedPosition) != 0) return -1;
  if (key.WriteDword(kLogFirstTimeValue, gEventLogReader.storedFirstRecordTime) != 0) return -1;
  key.Close();
  return 0;
}

}  // namespace vigil
