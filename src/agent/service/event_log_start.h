// The start-up's part in following the BIOS event log: where the reader takes its records from,
// and which log it follows.
#pragma once

#include <cstdint>

namespace vigil {

// Opens the test log; the reader replays it when c:\test_log.csv is present and otherwise asks
// the driver. When `tableParsed` (this start-up's parse rebuilt the inventory), the reader then
// follows the log that the inventory's type-15 structures describe, found in `table`, the buffer
// they were parsed from (the last usable one; none: no log to follow). Otherwise it keeps the
// log it followed. Service thread, start-up.
void StartEventLogReader(const uint8_t* table, bool tableParsed);

}  // namespace vigil
