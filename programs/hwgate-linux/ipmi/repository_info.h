// Get SEL Info and Get SDR Repository Info answer in one layout: version, record count, free
// bytes, last add and last erase time, operation support. The provider's idle log poll is
// one of these; the sensor list asks the other before it trusts its cached SDRs.
#pragma once

#include <cstdint>

#include "ipmi/bmc_transport.h"

namespace hwlinux::ipmi {

struct RepositoryInfo {
  uint8_t version = 0;
  uint16_t count = 0;
  uint16_t freeBytes = 0;  // FFFFh: that much or more
  uint32_t lastAddTime = 0;
  uint32_t lastEraseTime = 0;
  uint8_t operations = 0;
};

// Sends `cmd` (kCmdGetSelInfo or kCmdGetSdrRepositoryInfo). Returns 0 with *info filled, or
// -1 when the BMC gave no usable answer (*code then holds its completion code, 0 when none
// came). Same threads as the transport.
int GetRepositoryInfo(BmcTransport& transport, uint8_t cmd, RepositoryInfo* info, uint8_t* code);

// Entries the SEL can hold in all: those present plus those its free space takes.
uint32_t SelCapacity(const RepositoryInfo& info);

}  // namespace hwlinux::ipmi
