// DecodedEvent: one BIOS log record decoded (it becomes a HistoryEntry of the block).
#pragma once

#include <cstddef>
#include <cstdint>

#include "contract/block_layout.h"

namespace vigil {

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

}  // namespace vigil
