// Get SEL Info: how many entries the BMC's System Event Log holds, how much room is left, and
// when it was last added to and erased. The provider's idle log poll is this one request.
#pragma once

#include <cstdint>

#include "ipmi/bmc_transport.h"

namespace hwlinux::ipmi {

struct SelInfo {
  uint8_t version = 0;
  uint16_t entries = 0;
  uint16_t freeBytes = 0;  // FFFFh: that much or more
  uint32_t lastAddTime = 0;
  uint32_t lastEraseTime = 0;
  uint8_t operations = 0;
};

// Returns 0 with *info filled, or -1 when the BMC gave no usable answer (*code then holds its
// completion code, 0 when none came).
int GetSelInfo(BmcTransport& transport, SelInfo* info, uint8_t* code);

// Entries the SEL can hold in all: those present plus those the free space takes.
uint32_t SelCapacity(const SelInfo& info);

}  // namespace hwlinux::ipmi
