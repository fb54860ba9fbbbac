#include "block_header.h"

#include <cstring>

#include "contract/block_access.h"

namespace vigilctl {

BlockHeader ReadBlockHeader(const uint8_t* block) {
  namespace b = vigil::block;
  BlockHeader h{};
  h.id[0] = b::LoadU8(block, b::kIdByte0);
  h.id[1] = b::LoadU8(block, b::kIdByte1);
  h.id[2] = b::LoadU8(block, b::kIdByte2);
  h.id[3] = b::LoadU16(block, b::kIdWord0);
  h.id[4] = b::LoadU16(block, b::kIdWord1);
  h.id[5] = b::LoadU8(block, b::kIdByte3);
  h.identified = h.id[0] == b::kIdByte0Value && h.id[1] == b::kIdByte1Value && h.id[2] == b::kIdByte2Value &&
                 h.id[3] == b::kIdWord0Value && h.id[4] == b::kIdWord1Value && h.id[5] == b::kIdByte3Value;
  h.startupComplete = b::LoadU8(block, b::kStartupComplete);
  h.request17Flag = b::LoadU8(block, b::kRequest17Flag);
  std::memcpy(h.uuid, block + b::kSystemUuid, sizeof h.uuid);
  for (uint8_t byte : h.uuid) h.uuidSet = h.uuidSet || byte != 0;
  h.sensorCount = b::LoadU16(block, b::kSensorCount);
  h.ringNextSlot = b::LoadU16(block, b::kRingNextSlot);
  h.ringAppendCount = b::LoadU16(block, b::kRingAppendCount);
  h.cpuOverTempShutdown = b::LoadU32(block, b::kCpuOverTempShutdown);
  h.clearEventLogEnabled = b::LoadU32(block, b::kClearEventLogEnabled);
  return h;
}

}  // namespace vigilctl
