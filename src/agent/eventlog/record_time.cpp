#include "agent/eventlog/record_time.h"

#include <limits>

namespace vigil {

namespace {

int Bcd(uint8_t value) { return (value >> 4) * 10 + (value & 0x0F); }
uint8_t ToBcd(int value) { return uint8_t((value / 10 % 10) << 4 | value % 10); }

int32_t ToRingTime(std::time_t t) {
  if (t == std::time_t(-1)) return -1;
  if (t < std::numeric_limits<int32_t>::min() || t > std::numeric_limits<int32_t>::max()) return -1;
  return int32_t(t);
}

}  // namespace

void BcdToLocalTime(const uint8_t* bcd, std::tm* out) {
  *out = std::tm{};
  int year = Bcd(bcd[0]);
  if (year < 80) year += 100;
  out->tm_year = year;
  out->tm_mon = Bcd(bcd[1]) - 1;
  out->tm_mday = Bcd(bcd[2]);
  out->tm_hour = Bcd(bcd[3]);
  out->tm_min = Bcd(bcd[4]);
  out->tm_sec = Bcd(bcd[5]);
  out->tm_isdst = -1;
}

int32_t RecordCalendarTime(const uint8_t* bcd) {
  std::tm local;
  BcdToLocalTime(bcd, &local);
  return ToRingTime(std::mktime(&local));
}

bool IsRecentRecordTime(int32_t recordTime, std::time_t now) {
  if (recordTime == -1) return false;
  const std::time_t t = recordTime;
  const std::tm* brokenDown = std::localtime(&t);
  if (brokenDown == nullptr) return false;
  std::tm plusOneMinute = *brokenDown;
  // mktime carries an overflowing minute into the hour, day and so on.
  plusOneMinute.tm_min += 1;
  const std::time_t limit = std::mktime(&plusOneMinute);
  if (limit == std::time_t(-1)) return false;
  return limit >= now;
}

void LocalTimeToBcd(std::time_t now, uint8_t* bcd) {
  std::tm local{};
  if (const std::tm* brokenDown = std::localtime(&now)) local = *brokenDown;
  bcd[0] = ToBcd(local.tm_year % 100);
  bcd[1] = ToBcd(local.tm_mon + 1);
  bcd[2] = ToBcd(local.tm_mday);
  bcd[3] = ToBcd(local.tm_hour);
  bcd[4] = ToBcd(local.tm_min);
  bcd[5] = ToBcd(local.tm_sec);
}

}  // namespace vigil
