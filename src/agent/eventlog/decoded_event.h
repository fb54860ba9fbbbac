// DecodedEvent: one BIOS log record decoded, and the history entry layout it becomes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil {

constexpr std::size_t kEventTextSize = 200;  // 199 characters + NUL
constexpr std::size_t kEventLocatorSize = 48;

struct DecodedEvent {
  uint8_t recordType;
  int32_t time;  // calendar time, -1 when not representable
  uint8_t generatorIdLow;
  uint8_t generatorIdHigh;
  uint8_t evmRev;
  uint8_t sensorType;
  uint8_t sensorNumber;
  uint8_t eventReadingType;
  uint8_t eventData1;
  uint8_t eventData2;
  uint8_t eventData3;
  char text[kEventTextSize];
  uint8_t pet3;
  uint8_t pet4;
  // What the event names, apart from its text: the memory locator of a memory error
  // ("DIMM_A1") or the PCI location of a bus error; "" for none. Not part of the history entry.
  char locator[kEventLocatorSize];
};

#pragma pack(push, 1)
struct HistoryEntry {
  uint8_t recordType;
  int32_t time;
  uint8_t generatorIdLow;
  uint8_t generatorIdHigh;
  uint8_t evmRev;
  uint8_t sensorType;
  uint8_t sensorNumber;
  uint8_t eventReadingType;
  uint8_t eventData1;
  uint8_t eventData2;
  uint8_t eventData3;
  uint32_t seen1;
  uint32_t seen2;
  char text[kEventTextSize];
  uint8_t pet3;
  uint8_t pet4;
};
#pragma pack(pop)

static_assert(sizeof(HistoryEntry) == 224, "history entry size");
static_assert(offsetof(HistoryEntry, time) == 1 && offsetof(HistoryEntry, generatorIdLow) == 5 &&
              offsetof(HistoryEntry, sensorType) == 8 && offsetof(HistoryEntry, eventReadingType) == 10 &&
              offsetof(HistoryEntry, eventData3) == 13 && offsetof(HistoryEntry, seen1) == 14 &&
              offsetof(HistoryEntry, seen2) == 18 && offsetof(HistoryEntry, text) == 22 &&
              offsetof(HistoryEntry, pet3) == 222 && offsetof(HistoryEntry, pet4) == 223,
              "history entry layout");

}  // namespace vigil
