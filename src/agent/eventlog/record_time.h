// Log record times: six BCD bytes of local time <-> the 32-bit calendar time of the ring.
#pragma once

#include <cstdint>
#include <ctime>

namespace vigil {

// Breaks the BCD bytes (year, month, day, hour, minute, second) down without checking the
// digits; years 00-79 are 2000-2079, 80-99 are 1980-1999; daylight saving left to mktime.
void BcdToLocalTime(const uint8_t* bcd, std::tm* out);
// The calendar time of the record's local time, or -1 when mktime fails or the result does
// not fit the signed 32-bit field (anything after 2038-01-19 03:14:07 UTC).
int32_t RecordCalendarTime(const uint8_t* bcd);
// Whether a record of `recordTime` is at most a minute old against `now` (a record from the
// future counts as recent). -1 is no valid time and never recent. Service thread only (it
// uses localtime, which shares one buffer).
bool IsRecentRecordTime(int32_t recordTime, std::time_t now);
// The current local time as the six BCD bytes of a log record. Service thread only.
void LocalTimeToBcd(std::time_t now, uint8_t* bcd);

}  // namespace vigil
